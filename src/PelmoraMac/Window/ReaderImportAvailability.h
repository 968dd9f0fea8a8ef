#pragma once

namespace tavrine {

// Which imports the reader window allows now; the toolbar's import menu and library button and the menus
// follow it.
struct ReaderImportAvailability {
    // A file may be chosen or dropped for import into the library.
    bool canImportFile = false;
    // The clipboard may be imported (the built-in sample too).
    bool canImportClipboard = false;
    // The current reading may be added to the library.
    bool canAddCurrent = false;
    // The current reading is in the library already.
    bool isCurrentInLibrary = false;

    bool operator==(const ReaderImportAvailability&) const = default;
};

}  // namespace tavrine
