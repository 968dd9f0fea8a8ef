#pragma once

#include "support/RawZipBuilder.h"

#include <zip.h>
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

namespace tavrine::test {

// Every entry of a published book, read with libzip directly in archive order: raw name bytes and
// content. Empty when the file cannot be opened or an entry cannot be read.
inline QList<std::pair<QByteArray, QByteArray>> zipEntries(const QString& path) {
    QList<std::pair<QByteArray, QByteArray>> entries;
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive) return entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        zip_file_t* file = nullptr;
        if (zip_stat_index(archive, zip_uint64_t(i), ZIP_FL_ENC_RAW, &stat) != 0 ||
            !(file = zip_fopen_index(archive, zip_uint64_t(i), 0))) {
            entries.clear();
            break;
        }
        QByteArray bytes(qsizetype(stat.size), Qt::Uninitialized);
        const bool read = zip_fread(file, bytes.data(), stat.size) == zip_int64_t(stat.size);
        zip_fclose(file);
        if (!read) {
            entries.clear();
            break;
        }
        entries.append({QByteArray(stat.name), bytes});
    }
    zip_close(archive);
    return entries;
}

// The entries whose names end with one of the suffixes, by name.
inline std::map<QString, QByteArray> archiveEntries(const QString& path, const QList<QByteArrayView>& suffixes) {
    std::map<QString, QByteArray> entries;
    for (const auto& [name, data] : zipEntries(path)) {
        if (std::any_of(suffixes.begin(), suffixes.end(), [&](QByteArrayView s) { return name.endsWith(s); })) {
            entries.emplace(QString::fromUtf8(name), data);
        }
    }
    return entries;
}

// The same entries written again in their order, with the UTF-8 flag on every name outside ASCII and
// "mimetype" stored as a book's first entry must be. Published books often leave the flag off
// although their names are UTF-8, which the archive intake refuses. `mimetype`, when given, replaces
// the content of that entry.
inline QByteArray repackedWithUTF8Names(const QString& path, const std::optional<QByteArray>& mimetype = {}) {
    RawZipBuilder builder;
    for (const auto& [name, data] : zipEntries(path)) {
        RawZipEntry entry;
        entry.name = name;
        entry.data = data;
        if (name == "mimetype") {
            if (mimetype) entry.data = *mimetype;
            builder.entries().prepend(std::move(entry));
            continue;
        }
        entry.method = name.endsWith('/') ? 0 : 8;
        if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
            entry.flags = 0x0800;
        }
        builder.add(std::move(entry));
    }
    return builder.build().bytes;
}

}  // namespace tavrine::test
