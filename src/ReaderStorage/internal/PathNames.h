#pragma once

#include <QString>
#include <QStringView>

namespace tavrine {

// File-name rules shared by the import gates and the store. '/' is the only separator; runs of it count
// as one and trailing ones are ignored, so "folder/notes.txt/" has the last component "notes.txt".

// The last component of a path: "" for "", "/" for "/", "c" for "a/b/c" and for "c//".
QString lastPathComponent(QStringView path);

// What follows the last "." of the last component, without the dot; "" when there is none. A dot that
// opens the component does not start an extension: ".txt" has none, "a.b.txt" has "txt", "notes." has "".
QString pathExtension(QStringView path);

// Whether name is a bare file name (not empty, no directory part) whose extension is `extension` in any
// case: the rule for the names of imported files and of kept originals.
bool isFileNameWithExtension(QStringView name, QStringView extension);

}  // namespace tavrine
