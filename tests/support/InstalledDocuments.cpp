#include "support/InstalledDocuments.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <zlib.h>

#include <algorithm>

namespace tavrine::test {
namespace {
using namespace Qt::StringLiterals;

// Far beyond any documentation file; a bound, so that a corrupt file cannot exhaust memory.
constexpr qsizetype kMaximumDecompressedSize = 256 * 1024 * 1024;

std::optional<QByteArray> gunzip(const QByteArray& compressed) {
    z_stream stream{};
    // 16 + the largest window: a gzip wrapper, not a raw or zlib stream.
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = uInt(compressed.size());
    QByteArray out;
    int status = Z_OK;
    while (status == Z_OK) {
        const qsizetype used = out.size();
        if (used >= kMaximumDecompressedSize) break;
        out.resize(used + std::max<qsizetype>(compressed.size() * 4, 64 * 1024));
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        stream.avail_out = uInt(out.size() - used);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(out.size() - qsizetype(stream.avail_out));
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) return std::nullopt;
    return out;
}

}  // namespace

std::optional<QByteArray> readDocumentFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    return path.endsWith(u".gz"_s) ? gunzip(bytes) : std::optional(bytes);
}

QString installedDocument(const QString& path) {
    for (const QString& candidate : {path, QString(path + u".gz"_s)}) {
        if (QFileInfo(candidate).isFile()) return candidate;
    }
    return {};
}

QStringList markdownFilesUnder(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, {u"*.md"_s, u"*.md.gz"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) files.append(it.next());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace tavrine::test
