#pragma once

#include "ReaderCore/Clock.h"
#include "ReaderCore/SavedReading.h"

namespace tavrine {

// A text that has just come in (a capture, a clipboard replacement, the sample, a Markdown import) on its
// way to the player, with how the player should take it. Every value carries a reading under a fresh
// identifier, so the player can refuse a value it has already taken. Held only until the player has
// taken it: never stored. Nothing here checks the document; whoever loads or stores it does.
struct ImportedReading {
    SavedReading reading;
    // Start playback as soon as the reading is loaded and has something to play.
    bool autoplay = false;
    // The player keeps what it showed before, so that the replacement can be undone and redone.
    bool allowsReplacementUndo = false;

    // A reading of document under a new identifier, imported at the clock's present time; no EPUB
    // information.
    static ImportedReading create(ReadingDocument document, bool autoplay, std::optional<QString> title,
                                  std::optional<QString> source, bool allowsReplacementUndo,
                                  const Clock& clock = SystemClock::shared());
    // A plain text without sections or spans, title or source; no replacement undo.
    static ImportedReading fromText(QString text, bool autoplay, const Clock& clock = SystemClock::shared());

    const QUuid& id() const { return reading.id; }
    const ReadingDocument& document() const { return reading.document; }
    const QString& text() const { return reading.document.text; }

    bool operator==(const ImportedReading&) const = default;
};

}  // namespace tavrine
