// The rules of the table-of-contents pane without its widgets: the rows and what assistive technology
// reads of them, the keys, the chapter group, the guard of a choice, and the frames of the pane beside or
// above the reading area.
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Workspace/ReaderEPUBPaneModel.h"
#include "ReaderUI/Workspace/ReaderEPUBPaneNavigation.h"
#include "ReaderUI/Workspace/ReaderNavigationFrames.h"

#include "PlayerTesting.h"
#include "support/NavigationTrees.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <limits>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::at;
using test::entry;
using Kind = ReaderEPUBPaneModel::Kind;
using Selection = ReaderEPUBContents::Selection;
using Section = ReadingDocument::Section;

const EPUBBook::Destination kGroup = EPUBBook::Destination::unavailable(EPUBBook::Unavailable::group);

SavedReading book(QList<EPUBBook::Navigation> navigation, QList<Section> sections) {
    SavedReading reading = test::readingOf(test::japaneseText(sections.isEmpty() ? 300 : sections.last().end),
                                           sections.isEmpty() ? std::nullopt : std::optional(sections));
    EPUBBook::Information information;
    information.navigation = std::move(navigation);
    reading.epub = std::move(information);
    return reading;
}

const QList<Section> kSections{
    {u"s1"_s, u"一"_s, 0, 100}, {u"s2"_s, std::nullopt, 100, 200}, {u"s3"_s, u"  "_s, 200, 300}};

QStringList shown(const ReaderEPUBPaneModel& model, int role = Qt::DisplayRole) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) texts.append(model.index(row).data(role).toString());
    return texts;
}

TEST(EPUBPaneRows, TheFallbackSectionSaysWhyTheChaptersAreOffered) {
    // No table of contents at all.
    const ReaderEPUBPaneModel none{ReaderEPUBContents(book({}, kSections))};
    EXPECT_EQ(shown(none), (QStringList{u"本文順の章"_s, u"この本には目次がありません。本文順の章から移動できます。"_s,
                                        u"一"_s, u"章 2"_s, u"  "_s}));
    EXPECT_FALSE(none.flags(none.index(0)) & Qt::ItemIsSelectable);
    EXPECT_FALSE(none.flags(none.index(1)) & Qt::ItemIsSelectable);
    EXPECT_TRUE(none.flags(none.index(2)) & Qt::ItemIsSelectable);
    EXPECT_EQ(none.selectionAt(3), Selection::chapter(u"s2"_s));
    EXPECT_EQ(none.index(3).data(Qt::AccessibleDescriptionRole).toString(),
              u"この章の先頭へ移動して停止します。目次は開いたままです"_s);

    // Entries, none of which leads into the text: each listed with its reason, none selectable.
    const ReaderEPUBPaneModel broken{ReaderEPUBContents(
        book({entry(u"part"_s, kGroup,
                    {entry(u"link"_s, EPUBBook::Destination::unavailable(EPUBBook::Unavailable::externalReference))})},
             kSections))};
    EXPECT_EQ(broken.kindAt(0), Kind::unavailableEntry);
    EXPECT_FALSE(broken.flags(broken.index(1)) & Qt::ItemIsSelectable);
    EXPECT_EQ(broken.index(1).data(Qt::AccessibleTextRole).toString(),
              u"2階層、Label link、外部リンクのため移動できません"_s);
    EXPECT_EQ(broken.index(3).data().toString(), u"移動できる目次項目がありません。本文順の章から移動できます。"_s);
    EXPECT_FALSE(broken.selectionAt(1).has_value());
}

TEST(EPUBPaneRows, DeepAndLongEntriesKeepTheirLevelAndShowTheirFirst240Characters) {
    EXPECT_EQ(ReaderEPUBPaneModel::indentation(0), 0);
    EXPECT_EQ(ReaderEPUBPaneModel::indentation(3), 36);
    EXPECT_EQ(ReaderEPUBPaneModel::indentation(10), 84);

    // 240 Characters of which one is a family of seven scalars, then more: the cut keeps the family whole.
    const QString family = u"👨‍👩‍👧‍👦"_s;
    const QString label = family + u"あ"_s.repeated(239) + u"い"_s.repeated(60);
    EPUBBook::Navigation deep = test::chain(11);
    EPUBBook::Navigation* leaf = &deep;
    while (!leaf->children.isEmpty()) leaf = &leaf->children.first();
    leaf->label = label;
    leaf->destination = at(u"s1"_s, 5);
    ReaderEPUBPaneModel model{ReaderEPUBContents(book({deep}, kSections))};
    const QModelIndex row = model.index(10);
    EXPECT_EQ(row.data(ReaderEPUBPaneModel::DepthRole).toLongLong(), 10);
    EXPECT_EQ(row.data().toString(), family + u"あ"_s.repeated(239));
    EXPECT_EQ(row.data(Qt::AccessibleTextRole).toString(), u"11階層、"_s + family + u"あ"_s.repeated(239));
    EXPECT_EQ(row.data(Qt::AccessibleDescriptionRole).toString(),
              u"この位置へ移動して停止します。目次は開いたままです"_s);

    // Current: the mark and the spoken suffix, reported for that row alone.
    QList<int> changedRows;
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [&changedRows](const QModelIndex& from) { changedRows.append(from.row()); });
    model.setCurrent(leaf->id, u"s1"_s);
    EXPECT_TRUE(row.data(ReaderEPUBPaneModel::CurrentRole).toBool());
    EXPECT_TRUE(row.data(Qt::AccessibleTextRole).toString().endsWith(u"、現在位置"_s));
    EXPECT_EQ(changedRows, QList<int>{10});  // the chapters are collapsed: only the entry's row
}

TEST(EPUBPaneRows, TheGroupInsertsAndRemovesTheChaptersAfterIt) {
    ReaderEPUBPaneModel model{ReaderEPUBContents(book({entry(u"a"_s, at(u"s1"_s, 0))}, kSections))};
    EXPECT_EQ(shown(model), (QStringList{u"Label a"_s, u"本文順の章"_s}));
    int resets = 0;
    int insertions = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&resets] { ++resets; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&insertions] { ++insertions; });
    model.setShowsChapters(true);
    EXPECT_EQ(insertions, 1);
    EXPECT_EQ(shown(model), (QStringList{u"Label a"_s, u"本文順の章"_s, u"一"_s, u"章 2"_s, u"  "_s}));
    EXPECT_EQ(model.rowOf(Selection::chapter(u"s3"_s)), 4);
    model.setCurrent(std::nullopt, u"s2"_s);
    EXPECT_TRUE(model.index(3).data(ReaderEPUBPaneModel::CurrentRole).toBool());
    model.setShowsChapters(false);
    EXPECT_EQ(model.rowOf(Selection::chapter(u"s3"_s)), -1);
    EXPECT_EQ(resets, 0);
}

class EPUBPaneNavigationTest : public testing::Test, public test::PlayerFixture {
protected:
    struct Pane {
        Pane(const SavedReading& reading, ReadingPlayer& player, QStringList& log)
            : model(ReaderEPUBContents(reading)),
              navigation(model, player, reading.id,
                         {.onSelect = [&log] { log.append(u"select"_s); },
                          .onClose = [&log] { log.append(u"close"_s); },
                          .onFocusDeparture = [&log] { log.append(u"departure"_s); }}) {}
        ReaderEPUBPaneModel model;
        ReaderEPUBPaneNavigation navigation;
    };

    QStringList log;
};

TEST_F(EPUBPaneNavigationTest, ArrowsMoveThroughTheVisibleEntriesAndStopAtTheEnds) {
    ReadingPlayer& player = makePlayer(false);
    // "gone" leads nowhere; "b" sits under it.
    const SavedReading reading =
        book({entry(u"a"_s, at(u"s1"_s, 0)), entry(u"gone"_s, kGroup, {entry(u"b"_s, at(u"s2"_s, 120))})}, kSections);
    Pane pane(reading, player, log);
    ReaderEPUBPaneNavigation& navigation = pane.navigation;
    const auto down = [&] { return navigation.arrowKey(true, Qt::NoModifier); };
    const auto up = [&] { return navigation.arrowKey(false, Qt::NoModifier); };

    EXPECT_TRUE(up());
    EXPECT_EQ(navigation.selection(), Selection::navigation(u"b"_s));  // Up from nothing: the last
    EXPECT_TRUE(navigation.isListFocused());
    EXPECT_TRUE(down());
    EXPECT_EQ(navigation.selection(), Selection::navigation(u"b"_s));  // stays at the end
    EXPECT_TRUE(up());
    EXPECT_TRUE(up());
    EXPECT_EQ(navigation.selection(), Selection::navigation(u"a"_s));  // stays at the start

    // Any modifier but the keypad flag leaves the key to others.
    for (Qt::KeyboardModifier held : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier}) {
        EXPECT_FALSE(navigation.arrowKey(true, held)) << held;
    }
    EXPECT_EQ(navigation.selection(), Selection::navigation(u"a"_s));
    EXPECT_TRUE(navigation.arrowKey(true, Qt::KeypadModifier));
    EXPECT_EQ(navigation.selection(), Selection::navigation(u"b"_s));

    // Expanded, the chapters follow: Up from nothing is the last chapter.
    navigation.setShowsChapters(true);
    navigation.setSelection(std::nullopt);
    EXPECT_TRUE(up());
    EXPECT_EQ(navigation.selection(), Selection::chapter(u"s3"_s));
    // Collapsing with a chapter selected moves the selection to the first entry.
    navigation.setShowsChapters(false);
    EXPECT_EQ(navigation.selection(), Selection::navigation(u"a"_s));
    // Moving never moved the player, and nothing was chosen.
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(player.readingID(), std::nullopt);

    // A book without a table of contents: Down selects the first chapter; collapsing changes nothing.
    Pane fallback(book({}, kSections), player, log);
    EXPECT_TRUE(fallback.navigation.arrowKey(true, Qt::NoModifier));
    EXPECT_EQ(fallback.navigation.selection(), Selection::chapter(u"s1"_s));
    fallback.navigation.setShowsChapters(true);
    fallback.navigation.setShowsChapters(false);
    EXPECT_EQ(fallback.navigation.selection(), Selection::chapter(u"s1"_s));

    // Nothing to offer at all: the selection is nothing.
    Pane empty(book({entry(u"gone"_s, kGroup)}, {}), player, log);
    empty.navigation.setSelection(Selection::navigation(u"gone"_s));
    EXPECT_TRUE(empty.navigation.arrowKey(true, Qt::NoModifier));
    EXPECT_EQ(empty.navigation.selection(), std::nullopt);
}

TEST_F(EPUBPaneNavigationTest, AChoiceMovesThePlayerOnlyWhileItHoldsThePanesReading) {
    ReadingPlayer& player = makePlayer(false);
    const SavedReading reading = book({entry(u"a"_s, at(u"s1"_s, 0)), entry(u"b"_s, at(u"s2"_s, 150))}, kSections);
    chunks.answerWith(
        [](qsizetype from) { return test::tilingChunks(from, std::min<qsizetype>(from + 100, 300), 10); });
    player.load(reading, 0);
    ASSERT_TRUE(waitUntilPrepared());
    Pane pane(reading, player, log);
    ReaderEPUBPaneNavigation& navigation = pane.navigation;

    // Return: not with a modifier, not without a selection.
    EXPECT_FALSE(navigation.activationKey(Qt::NoModifier));
    navigation.setSelection(Selection::navigation(u"b"_s));
    EXPECT_FALSE(navigation.activationKey(Qt::ControlModifier));
    EXPECT_TRUE(log.isEmpty());
    EXPECT_TRUE(navigation.activationKey(Qt::NoModifier));
    EXPECT_EQ(log, QStringList{u"select"_s});
    EXPECT_EQ(player.requestedOffset(), 150);
    EXPECT_EQ(player.session().status, ReadingSession::Status::paused);

    // A key without a destination is dropped.
    navigation.select(Selection::navigation(u"missing"_s));
    EXPECT_EQ(navigation.selection(), Selection::navigation(u"b"_s));

    // The player switched readings: the old pane's choice does nothing.
    player.load(book({}, kSections), 0);
    ASSERT_TRUE(waitUntilPrepared());
    navigation.select(Selection::chapter(u"s3"_s));
    EXPECT_EQ(navigation.selection(), Selection::navigation(u"b"_s));
    EXPECT_EQ(log, QStringList{u"select"_s});

    // Closing tells onClose, then gives the focus up once, whatever disappearance follows.
    navigation.setListFocused(true);
    navigation.close();
    navigation.disappeared();
    EXPECT_EQ(log, (QStringList{u"select"_s, u"close"_s, u"departure"_s}));
    // Disappearing while the list holds the focus gives it up; without it, nothing.
    navigation.setListFocused(true);
    navigation.disappeared();
    navigation.disappeared();
    EXPECT_EQ(log.count(u"departure"_s), 2);
}

TEST(ReaderNavigationFrames, SideBySideFromExactly760AndStackedBelow) {
    using Frames = ReaderNavigationFrames;
    EXPECT_EQ(Frames::make(900, 500, false), (Frames{{0, 0, 900, 500}, {}, {}}));
    EXPECT_EQ(Frames::make(760, 500, true), (Frames{{261, 0, 499, 500}, {0, 0, 260, 500}, {260, 0, 1, 500}}));
    EXPECT_EQ(Frames::make(759.5, 1000, true), (Frames{{0, 221, 759.5, 779}, {0, 0, 759.5, 220}, {0, 220, 759.5, 1}}));
    EXPECT_EQ(Frames::make(500, 0, true), (Frames{{0, 1, 500, 0}, {0, 0, 500, 0}, {0, 0, 500, 1}}));
    // The stacked pane's height: 40 % while small, at least 140 or 32 % in between, at most 220.
    for (const auto& [height, pane] : std::initializer_list<std::pair<double, double>>{
             {100, 40}, {350, 140}, {400, 140}, {437.5, 140}, {500, 160}, {687.5, 220}, {1000, 220}}) {
        EXPECT_DOUBLE_EQ(Frames::make(600, height, true).pane.height(), pane) << height;
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Frames unknownWidth = Frames::make(nan, 500, true);
    EXPECT_EQ(unknownWidth.pane.height(), 160);  // a width that is not a number stacks
    const Frames unknownHeight = Frames::make(600, nan, true);
    EXPECT_EQ(unknownHeight.pane.height(), 0);
    EXPECT_EQ(unknownHeight.reading.height(), 0);
}

}  // namespace
}  // namespace tavrine
