#include "EPUBFuzzFiles.h"

#include "support/RawZipBuilder.h"

#include <algorithm>

namespace tavrine::test {

FuzzFiles parseFuzzFiles(QByteArrayView input) {
    FuzzFiles files;
    qsizetype start = 0;
    while (start <= input.size()) {
        // An empty view may have no characters to search.
        qsizetype end = start < input.size() ? input.indexOf('\0', start) : -1;
        if (end < 0) end = input.size();
        const QByteArrayView piece = input.sliced(start, end - start);
        const qsizetype lineEnd = piece.indexOf('\n');
        if (lineEnd < 0) {
            files.append({piece.toByteArray(), QByteArray()});
        } else {
            files.append({piece.first(lineEnd).toByteArray(), piece.sliced(lineEnd + 1).toByteArray()});
        }
        start = end + 1;
    }
    return files;
}

QByteArray fuzzFilesInput(const FuzzFiles& files) {
    QByteArray input;
    for (const auto& [path, content] : files) {
        if (!input.isEmpty()) input.append('\0');
        input.append(path).append('\n').append(content);
    }
    return input;
}

QByteArray packFuzzFiles(const FuzzFiles& files) {
    RawZipBuilder builder;
    builder.addMimetype();
    for (const auto& [path, content] : files) {
        if (path == "mimetype") continue;
        const bool ascii = std::all_of(path.begin(), path.end(), [](char c) { return quint8(c) < 0x80; });
        builder.add({.name = path, .data = content, .method = 0, .flags = quint16(ascii ? 0 : 0x0800)});
    }
    return builder.build().bytes;
}

}  // namespace tavrine::test
