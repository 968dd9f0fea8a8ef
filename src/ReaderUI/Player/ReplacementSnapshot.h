#pragma once

#include "ReaderCore/ReadingSession.h"
#include "ReaderCore/ReadingSourceWindow.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderText/PreparedReading.h"

#include <QString>

#include <memory>
#include <optional>

namespace tavrine {

// What the player keeps of a reading that an import replaced, to bring it back on undo (and of the
// import, to bring it back on redo): the reading as it was shown, its place, its saved flag and its
// notice. The prepared text is shared, never copied.
struct ReplacementSnapshot {
    std::optional<SavedReading> reading;
    ReadingSession session;
    std::shared_ptr<PreparedReading> prepared;
    std::optional<ReadingSourceWindow> sourceWindow;
    qsizetype offset = 0;
    std::optional<QString> filename;
    bool saved = false;
    bool previouslyPlayed = false;
    std::optional<QString> message;

    bool operator==(const ReplacementSnapshot&) const = default;
};

}  // namespace tavrine
