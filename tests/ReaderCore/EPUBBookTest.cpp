#include "ReaderCore/EPUBBook.h"

#include "support/NavigationTrees.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QJsonDocument>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::at;
using test::entry;
using Kind = DecodingError::Kind;
using Unavailable = EPUBBook::Unavailable;
using Navigation = EPUBBook::Navigation;

QJsonValue parse(const char* text) {
    auto value = parseJson(QByteArray(text));
    EXPECT_TRUE(value.has_value()) << text;
    return value.value_or(QJsonValue());
}

template <typename T>
Decoded<T> decode(const char* text) {
    return decodeJson(parse(text), JsonPath(), std::type_identity<T>{});
}

template <typename T>
Decoded<T> roundTrip(const T& value) {
    return decodeJsonText<T>(encodeJson(toJson(value)));
}

EPUBBook sampleBook() {
    EPUBBook book;
    book.document = ReadingDocument{QList<ReadingDocument::Section>{{u"s1"_s, u"One"_s, 0, 5}, {u"s2"_s, {}, 5, 9}},
                                    u"firstnext"_s,
                                    {{ReadingDocument::Span::Kind::heading, 0, 5, 1}}};
    book.metadata = {{u"Title"_s, u"Subtitle"_s}, {u"Author"_s}, {u"ja"_s}, {u"urn:x"_s}, {}, {u"2020"_s}, u"urn:x"_s};
    book.navigation = {entry(u"part"_s, EPUBBook::Destination::unavailable(Unavailable::group),
                             {entry(u"ch1"_s, at(u"s1"_s, 0)), entry(u"ch2"_s, at(u"s2"_s, 5))})};
    book.links = {{1, 3, u"#ch2"_s, at(u"s2"_s, 5)},
                  {4, 4, u"https://example.org"_s, EPUBBook::Destination::unavailable(Unavailable::externalReference)}};
    book.notices = {{EPUBBook::Notice::Kind::missingLanguage, {}},
                    {EPUBBook::Notice::Kind::imagePlaceholder, u"OEBPS/ch1.xhtml"_s}};
    book.packagePath = u"OEBPS/content.opf"_s;
    return book;
}

TEST(EPUBDestinationCoding, IsOneObjectKeyedByTheCaseName) {
    EXPECT_EQ(encodeJson(toJson(at(u"s1"_s, 12))), QByteArray(R"({"position":{"sectionID":"s1","utf16Offset":12}})"));
    EXPECT_EQ(encodeJson(toJson(EPUBBook::Destination::unavailable(Unavailable::missingAnchor))),
              QByteArray(R"({"unavailable":{"_0":"missingAnchor"}})"));

    EXPECT_EQ(decode<EPUBBook::Destination>(R"({"position": {"sectionID": "s", "utf16Offset": 3}})"), at(u"s"_s, 3));
    EXPECT_EQ(decode<EPUBBook::Destination>(R"({"unavailable": {"_0": "group"}})"),
              EPUBBook::Destination::unavailable(Unavailable::group));
    // A key that names no case is ignored beside exactly one case key.
    EXPECT_EQ(decode<EPUBBook::Destination>(R"({"extra": 1, "unavailable": {"_0": "group", "_1": 2}})"),
              EPUBBook::Destination::unavailable(Unavailable::group));
}

TEST(EPUBDestinationCoding, RefusesAnythingButExactlyOneCaseKey) {
    const auto bothKeys = decode<EPUBBook::Navigation>(
        R"({"id": "a", "label": "", "children": [],
            "destination": {"position": {"sectionID": "s", "utf16Offset": 3}, "unavailable": {"_0": "group"}}})");
    ASSERT_FALSE(bothKeys);
    EXPECT_EQ(bothKeys.error().kind, Kind::typeMismatch);
    EXPECT_EQ(bothKeys.error().debugDescription, u"Invalid number of keys found, expected one."_s);
    EXPECT_EQ(bothKeys.error().codingPath, u"destination"_s);

    for (const char* neither : {R"({})", R"({"Position": {"sectionID": "s", "utf16Offset": 3}})"}) {
        const auto failure = decode<EPUBBook::Destination>(neither);
        ASSERT_FALSE(failure) << neither;
        EXPECT_EQ(failure.error().kind, Kind::typeMismatch);
        EXPECT_EQ(failure.error().debugDescription, u"Invalid number of keys found, expected one."_s);
    }

    const auto missingOffset = decode<EPUBBook::Destination>(R"({"position": {"sectionID": "s"}})");
    ASSERT_FALSE(missingOffset);
    EXPECT_EQ(missingOffset.error().kind, Kind::keyNotFound);
    EXPECT_EQ(missingOffset.error().codingPath, u"position"_s);
    EXPECT_EQ(decode<EPUBBook::Destination>(R"({"unavailable": {}})").error().kind, Kind::keyNotFound);
    EXPECT_EQ(decode<EPUBBook::Destination>(R"({"unavailable": {"_0": "Group"}})").error().kind, Kind::dataCorrupted);
    EXPECT_EQ(decode<EPUBBook::Destination>(R"({"unavailable": "group"})").error().kind, Kind::typeMismatch);
    EXPECT_EQ(decode<EPUBBook::Destination>(R"(["position"])").error().kind, Kind::typeMismatch);
}

TEST(EPUBBookCoding, RawStringsAreTheCaseNamesAndCaseSensitive) {
    const QStringList reasons{u"group"_s,           u"invalidReference"_s, u"externalReference"_s,
                              u"missingResource"_s, u"excludedResource"_s, u"missingAnchor"_s};
    for (qsizetype i = 0; i < reasons.size(); ++i) {
        EXPECT_EQ(enumFromRawValue<Unavailable>(reasons[i]), static_cast<Unavailable>(i)) << reasons[i];
    }
    const QStringList kinds{u"missingTitle"_s,    u"missingCreator"_s,        u"missingIdentifier"_s,
                            u"missingLanguage"_s, u"omittedNavigation"_s,     u"omittedNonlinear"_s,
                            u"omittedHidden"_s,   u"rubyAnnotationOmitted"_s, u"imagePlaceholder"_s,
                            u"mediaOmitted"_s,    u"unresolvedNavigation"_s,  u"tableFlattened"_s};
    for (qsizetype i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(enumFromRawValue<EPUBBook::Notice::Kind>(kinds[i]), static_cast<EPUBBook::Notice::Kind>(i))
            << kinds[i];
    }
    EXPECT_EQ(enumFromRawValue<EPUBBook::Notice::Kind>(u"MissingTitle"), std::nullopt);
    EXPECT_EQ(decode<EPUBBook::Notice>(R"({"kind": "tableflattened"})").error().kind, Kind::dataCorrupted);
}

TEST(EPUBBookCoding, LeavesAbsentOptionalsOutAndReadsNullAsAbsent) {
    const auto groupEntry = Navigation(u"g"_s, QString(), std::nullopt, {}, {});
    const QJsonObject object = toJson(groupEntry).toObject();
    EXPECT_FALSE(object.contains(u"reference"_s));
    EXPECT_EQ(encodeJson(object.value(u"destination"_s)), QByteArray(R"({"unavailable":{"_0":"group"}})"));
    EXPECT_EQ(object.value(u"children"_s), QJsonValue(QJsonArray()));
    EXPECT_EQ(roundTrip(groupEntry), groupEntry);

    EXPECT_FALSE(toJson(EPUBBook::Metadata{}).toObject().contains(u"uniqueIdentifier"_s));
    EXPECT_FALSE(toJson(EPUBBook::Notice{}).toObject().contains(u"resource"_s));
    EXPECT_EQ(decode<EPUBBook::Notice>(R"({"kind": "mediaOmitted", "resource": null})"),
              (EPUBBook::Notice{EPUBBook::Notice::Kind::mediaOmitted, std::nullopt}));
}

TEST(EPUBBookCoding, RequiresEveryArrayIncludingChildren) {
    const auto noChildren =
        decode<EPUBBook::Navigation>(R"({"id": "a", "label": "", "destination": {"unavailable": {"_0": "group"}}})");
    ASSERT_FALSE(noChildren);
    EXPECT_EQ(noChildren.error().kind, Kind::keyNotFound);

    const auto noDates = decode<EPUBBook::Metadata>(
        R"({"titles": [], "creators": [], "languages": [], "identifiers": [], "publishers": []})");
    ASSERT_FALSE(noDates);
    EXPECT_EQ(noDates.error().kind, Kind::keyNotFound);

    // The failure inside a nested entry names where it is.
    const auto nested = decode<EPUBBook::Information>(R"({"metadata": {"titles": [], "creators": [], "languages": [],
        "identifiers": [], "publishers": [], "dates": []}, "links": [], "notices": [], "packagePath": "p",
        "navigation": [{"id": "a", "label": "", "destination": {"unavailable": {"_0": "group"}},
                        "children": [{"id": "b", "label": "", "children": [], "destination": {}}]}]})");
    ASSERT_FALSE(nested);
    EXPECT_EQ(nested.error().codingPath, u"navigation.Index 0.children.Index 0.destination"_s);
}

TEST(EPUBBookCoding, RoundTripsAWholeBookAndItsInformationIsTheBookWithoutItsDocument) {
    const EPUBBook book = sampleBook();
    EXPECT_EQ(roundTrip(book), book);
    EXPECT_EQ(roundTrip(book.information()), book.information());

    QJsonObject bookObject = toJson(book).toObject();
    EXPECT_TRUE(bookObject.contains(u"document"_s));
    bookObject.remove(u"document"_s);
    EXPECT_EQ(toJson(book.information()).toObject(), bookObject);
}

TEST(EPUBBookModel, TitleIsTheFirstTitleUnchanged) {
    EXPECT_EQ(EPUBBook::Metadata{}.title(), std::nullopt);
    EPUBBook::Metadata metadata;
    metadata.titles = {u" 吾輩は猫である "_s, u"Second"_s};
    EXPECT_EQ(metadata.title(), u" 吾輩は猫である "_s);
}

TEST(EPUBBookModel, DestinationsOfDifferentCasesNeverCompareEqual) {
    EXPECT_NE(at(u"s"_s, 0), EPUBBook::Destination::unavailable(Unavailable::group));
    EXPECT_NE(at(u"s"_s, 0), at(u"s"_s, 1));
    EXPECT_EQ(EPUBBook::Destination{}, EPUBBook::Destination::unavailable(Unavailable::group));
    // Trees are equal only in the same shape.
    const auto nested = entry(u"a"_s, {}, {entry(u"b"_s)});
    EXPECT_NE(nested, entry(u"a"_s));
    EXPECT_EQ(nested, entry(u"a"_s, {}, {entry(u"b"_s)}));
}

TEST(EPUBBookModel, AVeryDeepTreeIsCopiedComparedAndDestroyedWithoutRecursion) {
    // Far deeper than any call stack could follow entry by entry.
    constexpr qsizetype kDepth = 500'000;
    std::optional<Navigation> tree = test::chain(kDepth);
    Navigation copy = *tree;
    EXPECT_EQ(copy.children.first().id, u"c2"_s);
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

}  // namespace
}  // namespace tavrine
