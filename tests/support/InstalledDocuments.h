#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavrine::test {

// Documentation files that Debian packages install under /usr/share/doc, read in place: the tests and
// benchmarks use them as real inputs nobody here wrote.

// The file's bytes, decompressed when its name ends in ".gz"; nothing when it cannot be read or
// decompressed.
std::optional<QByteArray> readDocumentFile(const QString& path);

// The first of path and path + ".gz" that exists, or an empty string when neither does.
QString installedDocument(const QString& path);

// Every Markdown file (".md" or ".md.gz") under a folder, recursively, sorted by path.
QStringList markdownFilesUnder(const QString& folder);

}  // namespace tavrine::test
