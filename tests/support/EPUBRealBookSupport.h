#pragma once

#include "support/RawZipBuilder.h"

#include <zip.h>
#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <optional>

namespace tavrine::test {

// The book's entries, read with libzip and written again in their order with the UTF-8 flag on every
// name outside ASCII and "mimetype" stored first. Published books often leave the flag off although
// their names are UTF-8, or put "mimetype" elsewhere. `mimetype`, when given, replaces its content.
inline QByteArray repackedWithUTF8Names(const QString& path, const std::optional<QByteArray>& mimetype = {}) {
    RawZipBuilder builder;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, nullptr);
    for (zip_int64_t i = 0; archive && i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        zip_file_t* file = nullptr;
        if (zip_stat_index(archive, zip_uint64_t(i), ZIP_FL_ENC_RAW, &stat) != 0 ||
            !(file = zip_fopen_index(archive, zip_uint64_t(i), 0))) {
            zip_close(archive);
            return {};
        }
        RawZipEntry entry;
        entry.name = QByteArray(stat.name);
        entry.data.resize(qsizetype(stat.size));
        zip_fread(file, entry.data.data(), stat.size);
        zip_fclose(file);
        if (entry.name == "mimetype") {
            if (mimetype) entry.data = *mimetype;
            builder.entries().prepend(std::move(entry));
            continue;
        }
        entry.method = entry.name.endsWith('/') ? 0 : 8;
        if (std::any_of(entry.name.begin(), entry.name.end(), [](char c) { return quint8(c) >= 0x80; })) {
            entry.flags = 0x0800;
        }
        builder.add(std::move(entry));
    }
    if (archive) zip_close(archive);
    return builder.build().bytes;
}

}  // namespace tavrine::test
