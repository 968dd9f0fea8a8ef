#pragma once

#include "ReaderUI/Player/ReaderPlaybackRequest.h"

#include <QString>
#include <QtGlobal>

#include <array>

namespace tavrine {

// The four commands that move the reading position by sentence or by chapter, with the texts and the
// symbol every place that offers them shows: the workspace's navigation buttons and the application's
// playback menu. Each is sent as the playback action of the same name, whose raw value is the command's
// raw value + 2. The table holds no behaviour.
enum class ReaderNavigationCommand : quint8 {
    backSentence = 0,
    forwardSentence = 1,
    backChapter = 2,
    forwardChapter = 3,
};

struct ReaderNavigationCommands {
    ReaderNavigationCommands() = delete;

    // Every command, in raw-value order.
    static constexpr auto allCases = std::to_array<ReaderNavigationCommand>({
        ReaderNavigationCommand::backSentence,
        ReaderNavigationCommand::forwardSentence,
        ReaderNavigationCommand::backChapter,
        ReaderNavigationCommand::forwardChapter,
    });

    // The short name: button label, menu item, accessible name.
    static QString title(ReaderNavigationCommand command);
    // The help text after the title, and the accessible description; none ends with a full stop.
    static QString explanation(ReaderNavigationCommand command);
    // The name of the command's icon ("chevron.left").
    static QString symbol(ReaderNavigationCommand command);
    static constexpr ReaderPlaybackRequest::Action action(ReaderNavigationCommand command) {
        return static_cast<ReaderPlaybackRequest::Action>(static_cast<quint8>(command) + 2);
    }
    // The tooltip: title, a full-width colon, explanation.
    static QString helpText(ReaderNavigationCommand command);
};

}  // namespace tavrine
