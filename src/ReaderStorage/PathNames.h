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

}  // namespace tavrine
