#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <utility>

namespace tavrine::test {

// The files of a book as the file-list fuzzer reads them: each file is its archive path, a line feed and
// its content, and a NUL byte ends each file but the last ("path\ncontent\0path\ncontent"). XML holds no
// NUL byte, so mutations of the content rarely cut a file in two; a piece without a line feed is a path
// with empty content.
using FuzzFiles = QList<std::pair<QByteArray, QByteArray>>;

FuzzFiles parseFuzzFiles(QByteArrayView input);
QByteArray fuzzFilesInput(const FuzzFiles& files);

// The files as an archive the intake accepts: "mimetype" first with its exact content, then each file,
// all stored (inflating is the archive fuzzer's part), with the UTF-8 flag on a name outside ASCII. A
// file named "mimetype" is left out.
QByteArray packFuzzFiles(const FuzzFiles& files);

}  // namespace tavrine::test
