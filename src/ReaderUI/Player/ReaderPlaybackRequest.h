#pragma once

#include <QUuid>
#include <QtGlobal>

#include <array>

namespace tavrine {

// One request for a playback or navigation action, as menus, keys and buttons post it for the reader to
// carry out. Each request carries a fresh identity, so the same action asked for twice is two different
// values and an observer of the latest request sees both.
struct ReaderPlaybackRequest {
    // The actions, with their raw values in this order.
    enum class Action : quint8 {
        replay = 0,           // start the reading again from its beginning
        togglePlayback = 1,   // play or pause
        backSentence = 2,     // to the start of the current or previous sentence
        forwardSentence = 3,  // to the start of the next sentence
        backChapter = 4,      // to the previous chapter start
        forwardChapter = 5,   // to the next chapter start
        slower = 6,           // the speed multiplier down by 0.1
        faster = 7,           // the speed multiplier up by 0.1
        showEPUBNavigation = 8,
        showDocumentInformation = 9,
    };

    // Every action, in order of its raw value.
    static constexpr auto allActions = std::to_array<Action>({
        Action::replay,
        Action::togglePlayback,
        Action::backSentence,
        Action::forwardSentence,
        Action::backChapter,
        Action::forwardChapter,
        Action::slower,
        Action::faster,
        Action::showEPUBNavigation,
        Action::showDocumentInformation,
    });

    QUuid id;
    Action action = Action::togglePlayback;

    // A new request for action under a fresh random identity.
    explicit ReaderPlaybackRequest(Action action) : id(QUuid::createUuid()), action(action) {}

    bool operator==(const ReaderPlaybackRequest&) const = default;
};

}  // namespace tavrine
