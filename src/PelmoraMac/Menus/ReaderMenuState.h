#pragma once

#include "PelmoraMac/Menus/ReaderEditFocus.h"
#include "PelmoraMac/Window/ReaderCommandContext.h"
#include "ReaderUI/Player/ReaderPlaybackRequest.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"

#include <QString>

#include <array>
#include <cstddef>
#include <optional>

namespace tavrine {

// Every item of the menu bar whose title or state can change, in menu order. The quit item is the
// application's own action and always enabled.
enum class ReaderMenuItem : int {
    // Tavrine
    checkForUpdates,
    settings,
    // ファイル
    importFile,
    addCurrent,
    // 編集
    undo,
    redo,
    cut,
    copy,
    paste,
    selectAll,
    importClipboard,
    importPlainText,
    frontmostShortcutLine,
    clipboardShortcutLine,
    findInDocument,
    findNext,
    findPrevious,
    // 表示
    rsvpSizes,
    rsvpLarger,
    rsvpSmaller,
    rsvpDefaultSize,
    sourceSizes,
    sourceLarger,
    sourceSmaller,
    sourceDefaultSize,
    toggleSource,
    toggleHistory,
    toggleEPUBNavigation,
    documentInformation,
    // 再生
    togglePlayback,
    replay,
    backSentence,
    forwardSentence,
    backChapter,
    forwardChapter,
    speedLine,
    slower,
    faster,
    // ウインドウ
    openReader,
};
inline constexpr std::size_t kReaderMenuItemCount = std::size_t(ReaderMenuItem::openReader) + 1;

struct ReaderMenuItemState {
    QString title;
    bool enabled = false;
    // Only the items with a check mark have one.
    std::optional<bool> checked;

    bool operator==(const ReaderMenuItemState&) const = default;
};

struct ReaderMenuState {
    std::array<ReaderMenuItemState, kReaderMenuItemCount> items;

    const ReaderMenuItemState& operator[](ReaderMenuItem item) const { return items[std::size_t(item)]; }
    ReaderMenuItemState& operator[](ReaderMenuItem item) { return items[std::size_t(item)]; }
    bool operator==(const ReaderMenuState&) const = default;
};

// What the menus read, gathered at one moment.
struct ReaderMenuInputs {
    // The reader window's state while it (or a dialog over it) is the active window; nothing otherwise.
    std::optional<ReaderCommandContext> context;

    // The application's one player, which is also the context's.
    // What the player can carry out now, by the action's raw value.
    std::array<bool, ReaderPlaybackRequest::allActions.size()> canPerform{};
    bool canUndoReplacement = false;
    bool canRedoReplacement = false;
    // Playing, or play was asked for while the first phrases are prepared.
    bool isPlaying = false;
    bool isEPUBReading = false;
    // "2.0×".
    QString speedLabel = QStringLiteral("1.0×");
    double rsvpPointSize = 34;
    double sourcePointSize = 15;
    // Which size steps the player's text sizes accept, [target][action].
    std::array<std::array<bool, 3>, 2> canChangeSize{};

    // The source pane's search has a current match.
    bool hasCurrentMatch = false;
    // The pane preferences, for the check marks while no reader window is active.
    bool prefersSource = false;
    bool presentationShowsHistory = false;

    ReaderEditFocus::State edit;
    // What the focused widget's text supports.
    struct TextOperations {
        bool cut = false;
        bool copy = false;
        bool paste = false;
        bool selectAll = false;
    } text;

    bool canCheckForUpdates = false;
    // A dialog over the reader window, a sheet or the file panel is open.
    bool settingsAreBlocked = false;
    QString frontmostShortcutLabel;
    QString clipboardShortcutLabel;
};

ReaderMenuState readerMenuState(const ReaderMenuInputs& inputs);

// The item that sends a playback request, and the request it sends.
std::optional<ReaderPlaybackRequest::Action> playbackActionOf(ReaderMenuItem item);

struct ReaderTextSizeStep {
    ReaderTextSizeSettings::Action action;
    ReaderTextSizeSettings::Target target;
};
// The item that changes a text size, and the change.
std::optional<ReaderTextSizeStep> textSizeStepOf(ReaderMenuItem item);

}  // namespace tavrine
