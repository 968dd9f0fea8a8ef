#include "ReaderUI/EPUBNavigationRows.h"
#include "ReaderUI/ReadingChapterNavigation.h"

#include "support/NavigationTrees.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace EPUBNavigationRows;
using test::at;
using test::entry;
using Navigation = EPUBBook::Navigation;
using NoticeKind = EPUBBook::Notice::Kind;
using Offsets = QList<qsizetype>;

QList<std::pair<QString, qsizetype>> idsAndDepths(const QList<Row>& rows) {
    QList<std::pair<QString, qsizetype>> result;
    for (const Row& row : rows) result.append({row.id(), row.depth});
    return result;
}

TEST(EPUBNavigationRowsFlatten, ListsEveryEntryBeforeItsChildrenWithItsDepthWithoutRecursion) {
    const QList<Navigation> tree{entry(u"first"_s, {}, {entry(u"x"_s, {}, {entry(u"y"_s)}), entry(u"z"_s)}),
                                 entry(u"w"_s), entry(u"w"_s) /* rows are not de-duplicated */};
    const QList<Row> rows = flatten(tree);
    EXPECT_EQ(idsAndDepths(rows),
              (QList<std::pair<QString, qsizetype>>{
                  {u"first"_s, 0}, {u"x"_s, 1}, {u"y"_s, 2}, {u"z"_s, 1}, {u"w"_s, 0}, {u"w"_s, 0}}));
    EXPECT_EQ(rows[0].entry, tree[0]);  // a row carries its whole entry, children included

    constexpr qsizetype kDepth = 300'000;
    const QList<Row> deep = flatten({test::chain(kDepth), entry(u"after"_s)});
    ASSERT_EQ(deep.size(), kDepth + 1);
    EXPECT_EQ(idsAndDepths(deep.mid(kDepth - 1)),
              (QList<std::pair<QString, qsizetype>>{{u"c%1"_s.arg(kDepth), kDepth - 1}, {u"after"_s, 0}}));
}

TEST(EPUBNavigationRowsCurrentID, IsTheLatestEntryAtOrBeforeThePositionInTheCurrentSection) {
    const QList<Navigation> tree{
        entry(u"intro"_s, at(u"s1"_s, 0)),
        entry(u"part"_s, at(u"s2"_s, 100), {entry(u"ch1"_s, at(u"s2"_s, 100)), entry(u"ch2"_s, at(u"s2"_s, 150))}),
        entry(u"early"_s, at(u"s2"_s, 120)),  // later in the tree, earlier in the text
        entry(u"twin1"_s, at(u"s3"_s, 300)),
        entry(u"twin2"_s, at(u"s3"_s, 300)),
        entry(u"broken"_s, EPUBBook::Destination::unavailable(EPUBBook::Unavailable::missingAnchor)),
    };
    const auto current = [&](const std::optional<QString>& section, qsizetype offset) {
        const auto fromTree = currentID(tree, section, offset);
        EXPECT_EQ(fromTree, currentID(flatten(tree), section, offset));
        return fromTree;
    };
    EXPECT_EQ(current(u"s1"_s, 0), u"intro"_s);
    EXPECT_EQ(current(u"s2"_s, 100), u"ch1"_s);  // the child wins over its parent at the same place
    EXPECT_EQ(current(u"s2"_s, 149), u"early"_s);
    EXPECT_EQ(current(u"s2"_s, 150), u"ch2"_s);
    EXPECT_EQ(current(u"s3"_s, 400), u"twin1"_s);  // same offset and depth: the first in document order
    // Before the first entry of its section nothing is current, even with entries in earlier sections.
    EXPECT_EQ(current(u"s2"_s, 99), std::nullopt);
    EXPECT_EQ(current(u"s4"_s, 1000), std::nullopt);
    EXPECT_EQ(current(std::nullopt, 100), std::nullopt);
}

TEST(EPUBNavigationRowsTexts, ReasonsAreDistinctSentencesWithoutFullStop) {
    QStringList sentences;
    for (const auto reason : enumCases<EPUBBook::Unavailable>()) {
        const QString sentence = reasonMessage(reason);
        EXPECT_FALSE(sentence.isEmpty() || sentence.endsWith(u'。') || sentences.contains(sentence)) << sentence;
        sentences.append(sentence);
    }
    EXPECT_EQ(reasonMessage(EPUBBook::Unavailable::group), u"グループ見出し。子の項目から移動できます"_s);
}

TEST(EPUBNavigationRowsTexts, NoticeSentencesComeInTheirFixedOrderEachOnce) {
    const QList<EPUBBook::Notice> notices{
        {NoticeKind::unresolvedNavigation, u"nav.xhtml"_s},
        {NoticeKind::tableFlattened, u"b.xhtml"_s},
        {NoticeKind::missingLanguage, {}},
        {NoticeKind::imagePlaceholder, u"b.xhtml"_s},
        {NoticeKind::tableFlattened, u"a.xhtml"_s},
        {NoticeKind::missingTitle, {}},
        {NoticeKind::imagePlaceholder, u"a.xhtml"_s},
    };
    const QStringList expected{
        u"書名がないため、一覧では元ファイル名を表示します。"_s,
        u"画像は説明文または［画像］として本文に残しています。図の内容は再現しません。"_s,
        u"一部の表は表組みを再現せず、セルの文章を順に読みます。"_s,
        u"移動できない目次項目があります。各項目に理由を表示しています。"_s,
    };
    EXPECT_EQ(noticeMessages(notices), expected);
    EXPECT_EQ(noticeMessages(QList<EPUBBook::Notice>(notices.rbegin(), notices.rend())), expected);

    EXPECT_TRUE(noticeMessages({{NoticeKind::missingIdentifier, {}},
                                {NoticeKind::missingLanguage, {}},
                                {NoticeKind::omittedNavigation, u"c.xhtml"_s}})
                    .isEmpty());

    QList<EPUBBook::Notice> everyKind;
    for (const auto kind : enumCases<NoticeKind>()) everyKind.append({kind, {}});
    // Nine kinds speak; the last in the list is unresolved navigation, although it is not the last kind.
    const QStringList all = noticeMessages(everyKind);
    ASSERT_EQ(all.size(), 9);
    EXPECT_EQ(all.last(), expected.last());
}

TEST(EPUBNavigationRowsTexts, CreatorLabelCutsNamesAndCountsTheRest) {
    EXPECT_EQ(creatorLabel({}), QString());
    EXPECT_EQ(creatorLabel({u" 夏目 漱石 "_s}), u" 夏目 漱石 "_s);  // names are not trimmed
    EXPECT_EQ(creatorLabel({u"a"_s, QString(), u"b"_s}), u"a、、b"_s);

    // A name is cut after its hundredth Character, never inside one.
    EXPECT_EQ(creatorLabel({u"e\u0301"_s.repeated(101)}), u"e\u0301"_s.repeated(100));

    QStringList names;
    for (int i = 1; i <= 12; ++i) names.append(u"n%1"_s.arg(i));
    const QString ten = u"n1、n2、n3、n4、n5、n6、n7、n8、n9、n10"_s;
    EXPECT_EQ(creatorLabel(names.mid(0, 10)), ten);
    EXPECT_EQ(creatorLabel(names.mid(0, 11)), ten + u"、ほか1名"_s);
    EXPECT_EQ(creatorLabel(names), ten + u"、ほか2名"_s);
}

// "s1" over [0, 100) and "s2" over [100, 250).
ReadingDocument twoSections() {
    return ReadingDocument{
        QList<ReadingDocument::Section>{{u"s1"_s, {}, 0, 100}, {u"s2"_s, {}, 100, 250}}, QString(250, u'x'), {}};
}

Offsets chapters(const QList<Navigation>& navigation, const ReadingDocument& document = twoSections()) {
    return ReadingChapterNavigation(document, navigation).offsets;
}

TEST(ReadingChapterNavigation, SectionStartsAreChaptersOnlyWhenNoEntryLeadsIntoTheText) {
    EXPECT_TRUE(ReadingChapterNavigation().offsets.isEmpty());
    const ReadingDocument plain{std::nullopt, u"text"_s, {}};
    EXPECT_TRUE(chapters({entry(u"a"_s, at(u"s1"_s, 2))}, plain).isEmpty());

    EXPECT_EQ(chapters({}), (Offsets{0, 100}));
    // An entry at the end of the section it names, or in a section the document lacks, leads nowhere.
    EXPECT_EQ(chapters({entry(u"g"_s), entry(u"a"_s, at(u"s1"_s, 100)), entry(u"b"_s, at(u"s9"_s, 20))}),
              (Offsets{0, 100}));
}

TEST(ReadingChapterNavigation, EntriesThatLeadIntoTheTextAreTheOnlyChapters) {
    // Sorted, with 0 added, and section 2's start is not a chapter of its own; entries that lead nowhere
    // are skipped among those that do.
    EXPECT_EQ(chapters({entry(u"late"_s, at(u"s2"_s, 120)), entry(u"bad"_s, at(u"s1"_s, 100)),
                        entry(u"early"_s, at(u"s1"_s, 30))}),
              (Offsets{0, 30, 120}));
    // A parent and its first child at one place give one chapter.
    EXPECT_EQ(chapters({entry(u"part"_s, at(u"s2"_s, 100), {entry(u"ch"_s, at(u"s2"_s, 100))})}), (Offsets{0, 100}));
    // Depth does not matter.
    EXPECT_EQ(chapters({entry(u"d1"_s, {}, {entry(u"d2"_s, {}, {entry(u"d3"_s, at(u"s2"_s, 240))})})}),
              (Offsets{0, 240}));
}

}  // namespace
}  // namespace tavrine
