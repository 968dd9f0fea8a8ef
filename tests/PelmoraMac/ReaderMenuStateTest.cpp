// The menu bar's rules as plain values: which items each state of the reader window allows, and the
// titles and check marks that follow the player, the edit focus and the pane preferences.
#include "PelmoraMac/Menus/ReaderMenuState.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Item = ReaderMenuItem;

// Everything possible: the player can do anything, every import is open, a search has a match.
ReaderMenuInputs everythingPossible(std::optional<ReaderCommandContext> context) {
    ReaderMenuInputs inputs;
    inputs.context = context;
    inputs.canPerform.fill(true);
    inputs.canUndoReplacement = inputs.canRedoReplacement = true;
    for (auto& target : inputs.canChangeSize) target.fill(true);
    inputs.hasCurrentMatch = true;
    inputs.canCheckForUpdates = true;
    return inputs;
}

ReaderCommandContext freeContext() {
    ReaderCommandContext context;
    context.canToggleHistory = context.canToggleSource = true;
    context.imports = {.canImportFile = true, .canImportClipboard = true, .canAddCurrent = true};
    return context;
}

TEST(ReaderMenuState, EachItemIsEnabledOnlyInTheStatesItsRuleAllows) {
    ReaderCommandContext importing = freeContext();
    importing.isImporting = true;
    ReaderCommandContext blocked = freeContext();
    blocked.isBlocked = true;
    // The context's imports and pane switches carry their own rules; here they stay open, so what
    // differs is the menus' own reading of importing and blocked.
    const std::optional<ReaderCommandContext> contexts[] = {std::nullopt, importing, blocked, freeContext()};

    // Per item: enabled without a context, while importing, while blocked, with a free context.
    const struct {
        Item item;
        const char* enabled;
    } rows[] = {
        {Item::checkForUpdates, "1111"},
        {Item::settings, "1111"},
        {Item::importFile, "0111"},
        {Item::addCurrent, "0111"},
        {Item::undo, "0001"},
        {Item::redo, "0001"},
        {Item::importClipboard, "0111"},
        {Item::importPlainText, "0111"},
        {Item::frontmostShortcutLine, "0000"},
        {Item::clipboardShortcutLine, "0000"},
        {Item::findInDocument, "0001"},
        {Item::findNext, "0001"},
        {Item::findPrevious, "0001"},
        {Item::rsvpSizes, "1111"},
        {Item::rsvpLarger, "0001"},
        {Item::rsvpSmaller, "0001"},
        {Item::rsvpDefaultSize, "0001"},
        {Item::sourceSizes, "1111"},
        {Item::sourceLarger, "0001"},
        {Item::sourceSmaller, "0001"},
        {Item::sourceDefaultSize, "0001"},
        {Item::toggleSource, "0111"},
        {Item::toggleHistory, "0111"},
        {Item::toggleEPUBNavigation, "0001"},
        {Item::documentInformation, "0001"},
        {Item::togglePlayback, "0001"},
        {Item::replay, "0001"},
        {Item::backSentence, "0001"},
        {Item::forwardSentence, "0001"},
        {Item::backChapter, "0001"},
        {Item::forwardChapter, "0001"},
        {Item::speedLine, "0000"},
        {Item::slower, "0001"},
        {Item::faster, "0001"},
        {Item::openReader, "1111"},
    };
    for (int c = 0; c < 4; ++c) {
        const ReaderMenuState state = readerMenuState(everythingPossible(contexts[c]));
        for (const auto& row : rows) {
            SCOPED_TRACE(testing::Message() << "item " << int(row.item) << ", context " << c);
            EXPECT_EQ(state[row.item].enabled, row.enabled[c] == '1');
        }
    }

    // Nothing possible in the player or the text sizes: only the window's own switches and the
    // application's items stay.
    ReaderMenuInputs nothing;
    nothing.context = freeContext();
    const ReaderMenuState idle = readerMenuState(nothing);
    for (const Item item : {Item::undo, Item::redo, Item::findInDocument, Item::findNext, Item::rsvpLarger,
                            Item::sourceDefaultSize, Item::toggleEPUBNavigation, Item::documentInformation,
                            Item::togglePlayback, Item::forwardChapter, Item::faster, Item::checkForUpdates}) {
        EXPECT_FALSE(idle[item].enabled) << int(item);
    }
    EXPECT_TRUE(idle[Item::toggleSource].enabled);
    EXPECT_TRUE(idle[Item::importFile].enabled);
}

TEST(ReaderMenuState, AnEditedFieldTakesUndoAndRedoWhateverTheReplacementAllows) {
    ReaderMenuInputs inputs = everythingPossible(freeContext());
    inputs.edit = {.isEditing = true, .canUndo = true, .canRedo = false};
    ReaderMenuState state = readerMenuState(inputs);
    EXPECT_EQ(state[Item::undo], (ReaderMenuItemState{u"取り消す"_s, true, std::nullopt}));
    EXPECT_EQ(state[Item::redo], (ReaderMenuItemState{u"やり直す"_s, false, std::nullopt}));

    // Also without a reader window, and while it is blocked.
    inputs.context.reset();
    EXPECT_TRUE(readerMenuState(inputs)[Item::undo].enabled);

    inputs.edit = {};
    state = readerMenuState(inputs);
    EXPECT_EQ(state[Item::undo].title, u"クリップボードからの文書置換を取り消す"_s);
    EXPECT_EQ(state[Item::redo].title, u"クリップボードからの文書置換をやり直す"_s);
    EXPECT_FALSE(state[Item::undo].enabled);
}

TEST(ReaderMenuState, TitlesFollowThePlayerTheLibraryAndTheReading) {
    ReaderMenuInputs inputs = everythingPossible(freeContext());
    inputs.isPlaying = true;
    inputs.isEPUBReading = true;
    inputs.context->imports.isCurrentInLibrary = true;
    inputs.speedLabel = u"7.5×"_s;
    inputs.rsvpPointSize = 71.9;
    inputs.sourcePointSize = 10;
    inputs.frontmostShortcutLabel = u"Meta+Ctrl+Alt+R"_s;
    ReaderMenuState state = readerMenuState(inputs);
    EXPECT_EQ(state[Item::togglePlayback].title, u"一時停止"_s);
    EXPECT_EQ(state[Item::documentInformation].title, u"本の情報…"_s);
    EXPECT_EQ(state[Item::addCurrent].title, u"ライブラリに追加済み"_s);
    EXPECT_EQ(state[Item::speedLine].title, u"読む速度：7.5×"_s);
    EXPECT_EQ(state[Item::rsvpSizes].title, u"RSVPの文字サイズ（71 pt）"_s);
    EXPECT_EQ(state[Item::sourceSizes].title, u"原文の文字サイズ（10 pt）"_s);
    EXPECT_EQ(state[Item::frontmostShortcutLine].title, u"他アプリで取り込む：Meta+Ctrl+Alt+R"_s);

    // Without a reader window the player's state does not show, but its speed and sizes do.
    inputs.context.reset();
    state = readerMenuState(inputs);
    EXPECT_EQ(state[Item::togglePlayback].title, u"再生"_s);
    EXPECT_EQ(state[Item::documentInformation].title, u"文書の情報…"_s);
    EXPECT_EQ(state[Item::addCurrent].title, u"現在の文書をライブラリに追加"_s);
    EXPECT_EQ(state[Item::speedLine].title, u"読む速度：7.5×"_s);
    EXPECT_EQ(state[Item::rsvpSizes].title, u"RSVPの文字サイズ（71 pt）"_s);
}

TEST(ReaderMenuState, CheckMarksShowTheWindowOrWithoutItThePreferences) {
    ReaderMenuInputs inputs;
    inputs.prefersSource = true;
    inputs.presentationShowsHistory = true;
    ReaderMenuState state = readerMenuState(inputs);
    EXPECT_EQ(state[Item::toggleSource].checked, true);
    EXPECT_EQ(state[Item::toggleHistory].checked, true);
    EXPECT_EQ(state[Item::toggleEPUBNavigation].checked, false);

    ReaderCommandContext context;
    context.showsEPUBNavigation = true;
    inputs.context = context;
    state = readerMenuState(inputs);
    EXPECT_EQ(state[Item::toggleSource].checked, false);
    EXPECT_EQ(state[Item::toggleHistory].checked, false);
    EXPECT_EQ(state[Item::toggleEPUBNavigation].checked, true);
    EXPECT_FALSE(state[Item::togglePlayback].checked.has_value());
}

}  // namespace
}  // namespace tavrine
