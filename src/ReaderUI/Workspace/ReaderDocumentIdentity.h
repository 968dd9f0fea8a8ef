#pragma once

#include "ReaderCore/SavedReading.h"

#include <QString>

#include <optional>

namespace tavrine {

// The one display name of a saved reading, used wherever a reading is named: the workspace, the
// history list and its search, the reading details and the window title. A reading without a stored
// title is named from its own text, so the name is stable and never empty.
struct ReaderDocumentIdentity {
    ReaderDocumentIdentity() = delete;

    static constexpr qsizetype kHeadingCharacters = 300;
    static constexpr qsizetype kLineWindowCharacters = 512;
    static constexpr qsizetype kLineCharacters = 100;

    // The first that gives a name: the stored title, trimmed of white space and line breaks at both ends
    // and never cut; the first heading in text order (spans with equal starts in stored order) that is not
    // blank, trimmed and cut to 300 Characters; the first line that is not blank within the first 512
    // Characters of the text, trimmed and cut to 100 Characters; else "無題の文書". A heading range
    // reaching outside the text is clipped to it. Pure; any thread.
    static QString title(const SavedReading& reading);

    // The title as drawn on one line (a list row, the toolbar, a confirmation, a sheet, a window title): at
    // most its first `characters` Characters, then made one line by oneLineText, so that no control
    // character, line break or direction control in it is drawn raw. Cut first, so an escape is never cut.
    static QString shownTitle(const SavedReading& reading, std::optional<qsizetype> characters = std::nullopt);

    // The name of a reading that gives none, and of no reading.
    static QString untitled();
};

}  // namespace tavrine
