#include "ReaderCore/EPUBBook.h"

#include "support/JsonTesting.h"
#include "support/NavigationTrees.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::at;
using test::entry;
using Kind = DecodingError::Kind;
using Unavailable = EPUBBook::Unavailable;
using Navigation = EPUBBook::Navigation;
using Destination = EPUBBook::Destination;

template <typename T>
Decoded<T> roundTrip(const T& value) {
    return decodeJsonText<T>(encodeJson(value));
}

template <typename T>
DecodingError failure(const char* text) {
    const auto decoded = decodeJsonText<T>(text);
    EXPECT_FALSE(decoded) << text;
    return decoded ? DecodingError{} : decoded.error();
}

TEST(EPUBDestinationCoding, IsOneObjectKeyedByTheCaseName) {
    EXPECT_EQ(encodeJson(at(u"s1"_s, 12)), QByteArray(R"({"position":{"sectionID":"s1","utf16Offset":12}})"));
    EXPECT_EQ(encodeJson(Destination::unavailable(Unavailable::missingAnchor)),
              QByteArray(R"({"unavailable":{"_0":"missingAnchor"}})"));
    EXPECT_EQ(decodeJsonText<Destination>(R"({"position": {"sectionID": "s", "utf16Offset": 3}})"), at(u"s"_s, 3));
    // A key that names no case is ignored beside exactly one case key.
    EXPECT_EQ(decodeJsonText<Destination>(R"({"extra": 1, "unavailable": {"_0": "group", "_1": 2}})"),
              Destination::unavailable(Unavailable::group));

    const auto bothKeys = failure<Navigation>(R"({"id": "a", "label": "", "children": [],
            "destination": {"position": {"sectionID": "s", "utf16Offset": 3}, "unavailable": {"_0": "group"}}})");
    EXPECT_EQ(bothKeys.kind, Kind::typeMismatch);
    EXPECT_EQ(bothKeys.debugDescription, u"Invalid number of keys found, expected one."_s);
    EXPECT_EQ(bothKeys.codingPath, u"destination"_s);

    const std::pair<const char*, Kind> failures[] = {
        {R"({})", Kind::typeMismatch},
        {R"({"Position": {"sectionID": "s", "utf16Offset": 3}})", Kind::typeMismatch},  // case names are exact
        {R"({"position": {"sectionID": "s"}})", Kind::keyNotFound},
        {R"({"unavailable": {}})", Kind::keyNotFound},
        {R"({"unavailable": {"_0": "Group"}})", Kind::dataCorrupted},
        {R"({"unavailable": "group"})", Kind::typeMismatch},
        {R"(["position"])", Kind::typeMismatch},
    };
    for (const auto& [text, kind] : failures) EXPECT_EQ(failure<Destination>(text).kind, kind) << text;
}

TEST(EPUBBookCoding, StoresCasesByNameLeavesAbsentOptionalsOutAndRequiresEveryArray) {
    QStringList names;
    for (const auto reason : enumCases<Unavailable>()) names.append(rawValue(reason));
    for (const auto kind : enumCases<EPUBBook::Notice::Kind>()) names.append(rawValue(kind));
    EXPECT_EQ(names.join(u' '),
              u"group invalidReference externalReference missingResource excludedResource missingAnchor missingTitle "
              "missingCreator missingIdentifier missingLanguage omittedNavigation omittedNonlinear omittedHidden "
              "rubyAnnotationOmitted imagePlaceholder mediaOmitted unresolvedNavigation tableFlattened"_s);

    const auto groupEntry = Navigation(u"g"_s, QString(), std::nullopt, {}, {});
    const QJsonObject object = test::writtenObject(groupEntry);
    EXPECT_FALSE(object.contains(u"reference"_s));
    EXPECT_EQ(object.value(u"children"_s), QJsonValue(QJsonArray()));
    EXPECT_EQ(roundTrip(groupEntry), groupEntry);
    EXPECT_FALSE(test::writtenObject(EPUBBook::Metadata{}).contains(u"uniqueIdentifier"_s));
    EXPECT_FALSE(test::writtenObject(EPUBBook::Notice{}).contains(u"resource"_s));
    EXPECT_EQ(decodeJsonText<EPUBBook::Notice>(R"({"kind": "mediaOmitted", "resource": null})"),
              (EPUBBook::Notice{EPUBBook::Notice::Kind::mediaOmitted, std::nullopt}));

    EXPECT_EQ(failure<Navigation>(R"({"id": "a", "label": "", "destination": {"unavailable": {"_0": "group"}}})").kind,
              Kind::keyNotFound);
    EXPECT_EQ(failure<EPUBBook::Metadata>(
                  R"({"titles": [], "creators": [], "languages": [], "identifiers": [], "publishers": []})")
                  .kind,
              Kind::keyNotFound);
    // The failure inside a nested entry names where it is.
    EXPECT_EQ(failure<EPUBBook::Information>(R"({"metadata": {"titles": [], "creators": [], "languages": [],
        "identifiers": [], "publishers": [], "dates": []}, "links": [], "notices": [], "packagePath": "p",
        "navigation": [{"id": "a", "label": "", "destination": {"unavailable": {"_0": "group"}},
                        "children": [{"id": "b", "label": "", "children": [], "destination": {}}]}]})")
                  .codingPath,
              u"navigation.Index 0.children.Index 0.destination"_s);
}

TEST(EPUBBookCoding, RoundTripsAWholeBookAndItsInformationIsTheBookWithoutItsDocument) {
    EPUBBook book;
    book.document = ReadingDocument{QList<ReadingDocument::Section>{{u"s1"_s, u"One"_s, 0, 5}, {u"s2"_s, {}, 5, 9}},
                                    u"firstnext"_s,
                                    {{ReadingDocument::Span::Kind::heading, 0, 5, 1}}};
    book.metadata = {
        {u" 吾輩は猫である "_s, u"Sub"_s}, {u"Author"_s}, {u"ja"_s}, {u"urn:x"_s}, {}, {u"2020"_s}, u"urn:x"_s};
    book.navigation = {entry(u"part"_s, {}, {entry(u"ch1"_s, at(u"s1"_s, 0)), entry(u"ch2"_s, at(u"s2"_s, 5))})};
    book.links = {{1, 3, u"#ch2"_s, at(u"s2"_s, 5)},
                  {4, 4, u"https://example.org"_s, Destination::unavailable(Unavailable::externalReference)}};
    book.notices = {{EPUBBook::Notice::Kind::missingLanguage, {}},
                    {EPUBBook::Notice::Kind::imagePlaceholder, u"OEBPS/ch1.xhtml"_s}};
    book.packagePath = u"OEBPS/content.opf"_s;
    EXPECT_EQ(roundTrip(book), book);
    EXPECT_EQ(roundTrip(book.information()), book.information());
    QJsonObject bookObject = test::writtenObject(book);
    EXPECT_TRUE(bookObject.contains(u"document"_s));
    bookObject.remove(u"document"_s);
    EXPECT_EQ(test::writtenObject(book.information()), bookObject);

    EXPECT_EQ(book.metadata.title(), u" 吾輩は猫である "_s);  // the first title, unchanged
    EXPECT_EQ(EPUBBook::Metadata{}.title(), std::nullopt);
}

TEST(EPUBBookModel, AVeryDeepTreeIsCopiedComparedAndDestroyedWithoutRecursion) {
    // Far deeper than any call stack could follow entry by entry.
    constexpr qsizetype kDepth = 500'000;
    std::optional<Navigation> tree = test::chain(kDepth);
    Navigation copy = *tree;
    tree.reset();  // the copy still holds the shared levels
    const Navigation* deepest = &copy;
    qsizetype depth = 1;
    while (!deepest->children.isEmpty()) {
        deepest = &deepest->children.constFirst();
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    // Two trees built apart share nothing, so every level is compared.
    EXPECT_EQ(copy, test::chain(kDepth));
    EXPECT_NE(copy, test::chain(kDepth - 1));
}

// Two sections: "s1" over [0, 10) and "s2" over [10, 20); an emoji takes units 12 and 13.
ReadingDocument twoSections() {
    return ReadingDocument{QList<ReadingDocument::Section>{{u"s1"_s, {}, 0, 10}, {u"s2"_s, {}, 10, 20}},
                           u"0123456789ab\U0001F600efghij"_s,
                           {}};
}

EPUBBook::Information information(QList<Navigation> navigation = {}, QList<EPUBBook::Link> links = {}) {
    return EPUBBook::Information{{}, std::move(navigation), std::move(links), {}, u"OEBPS/content.opf"_s};
}

bool navigationPasses(QList<Navigation> navigation) {
    return information(std::move(navigation)).isValid(twoSections());
}
bool linkPasses(qsizetype start, qsizetype end, Destination destination) {
    return information({}, {{start, end, u"x"_s, std::move(destination)}}).isValid(twoSections());
}

TEST(EPUBInformationValidation, NeedsAValidDocumentWithSectionsAPackagePathAndAtMostTheLongestText) {
    EXPECT_TRUE(information().isValid(twoSections()));
    ReadingDocument document = twoSections();
    document.sections.reset();
    EXPECT_FALSE(information().isValid(document));
    document.sections = QList<ReadingDocument::Section>{};
    EXPECT_FALSE(information().isValid(document));
    document = twoSections();
    (*document.sections)[1].start = 11;
    EXPECT_FALSE(information().isValid(document));
    EPUBBook::Information withoutPath = information();
    withoutPath.packagePath.clear();
    EXPECT_FALSE(withoutPath.isValid(twoSections()));

    for (const qsizetype length : {EPUBBook::kMaximumTextLength, EPUBBook::kMaximumTextLength + 1}) {
        const ReadingDocument longest{
            QList<ReadingDocument::Section>{{u"all"_s, {}, 0, length}}, QString(length, u'x'), {}};
        EXPECT_EQ(information().isValid(longest), length == EPUBBook::kMaximumTextLength);
    }
}

TEST(EPUBInformationValidation, TreeOfTheMostEntriesAndLevelsPassesAndOneMoreOfEitherFails) {
    // 100 chains of 100 levels: exactly 10,000 entries, exactly 100 deep.
    QList<Navigation> full;
    for (int i = 0; i < 100; ++i) full.append(test::chain(100, u"t%1-"_s.arg(i)));
    EXPECT_TRUE(navigationPasses(full));

    QList<Navigation> oneMoreEntry = full;
    oneMoreEntry.append(entry(u"extra"_s));
    EXPECT_FALSE(navigationPasses(oneMoreEntry));

    // As many entries, but one chain a level deeper.
    QList<Navigation> oneMoreLevel = full;
    oneMoreLevel[0] = test::chain(101, u"deep-"_s);
    oneMoreLevel[1] = test::chain(99, u"short-"_s);
    EXPECT_FALSE(navigationPasses(oneMoreLevel));
}

TEST(EPUBInformationValidation, EntryIDsAreNonEmptyAndUniqueAcrossTheWholeTree) {
    EXPECT_FALSE(navigationPasses({entry(QString())}));
    EXPECT_FALSE(navigationPasses(
        {entry(u"a"_s, {}, {entry(u"b"_s)}), entry(u"c"_s, {}, {entry(u"d"_s, {}, {entry(u"b"_s)})})}));
    // Labels and references are not examined.
    EXPECT_TRUE(navigationPasses({Navigation(u"a"_s, QString(), u"::bad::"_s, {}, {})}));
}

TEST(EPUBInformationValidation, PositionsAndLinksLeadOnlyInsideTheSectionTheyName) {
    EXPECT_TRUE(navigationPasses({entry(u"a"_s, at(u"s1"_s, 0)), entry(u"b"_s, at(u"s2"_s, 10))}));
    EXPECT_TRUE(navigationPasses({entry(u"a"_s, at(u"s1"_s, 9)), entry(u"b"_s, at(u"s2"_s, 19))}));
    // The end of a section belongs to the next one, also at the end of the text.
    for (const Destination& outside : {at(u"s1"_s, 10), at(u"s2"_s, 20), at(u"s2"_s, 5), at(u"s1"_s, -1),
                                       at(u"s3"_s, 0), at(u"s2"_s, 13) /* between the halves of the emoji */}) {
        EXPECT_FALSE(navigationPasses({entry(u"a"_s, outside)})) << outside.asPosition()->utf16Offset;
        EXPECT_FALSE(linkPasses(0, 2, outside)) << outside.asPosition()->utf16Offset;
    }
    // A bad destination deep in the tree is found too.
    EXPECT_FALSE(
        navigationPasses({test::chain(50), entry(u"p"_s, {}, {entry(u"q"_s, {}, {entry(u"r"_s, at(u"s1"_s, 10))})})}));
    for (const auto reason : enumCases<Unavailable>())
        EXPECT_TRUE(navigationPasses({entry(u"a"_s, Destination::unavailable(reason))}));

    // A link's own range lies in the text, and may cut a surrogate pair.
    const auto nowhere = Destination::unavailable(Unavailable::externalReference);
    EXPECT_TRUE(linkPasses(0, 2, at(u"s2"_s, 12)));
    const std::tuple<qsizetype, qsizetype, bool> ranges[] = {{0, 0, true},    {13, 13, true}, {15, 20, true},
                                                             {15, 21, false}, {-1, 3, false}, {4, 3, false}};
    for (const auto& [start, end, valid] : ranges)
        EXPECT_EQ(linkPasses(start, end, nowhere), valid) << start << ".." << end;
    // Every link is checked, not only the first.
    EXPECT_FALSE(information({}, {{0, 1, u"x"_s, nowhere}, {0, 30, u"x"_s, nowhere}}).isValid(twoSections()));
}

}  // namespace
}  // namespace tavrine
