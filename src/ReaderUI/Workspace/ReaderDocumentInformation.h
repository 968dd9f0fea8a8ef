#pragma once

#include "ReaderCore/Date.h"
#include "ReaderCore/SavedReading.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <optional>

namespace tavrine {

// What the information sheet of a reading says: its title, the labelled rows (name, original file,
// origin, import time and, for an EPUB book, its metadata) and, for a book, the notes on what the import
// left out. A plain value computed from the reading; the sheet only lays it out.
struct ReaderDocumentInformation {
    struct Row {
        QString label;
        QString value;

        bool operator==(const Row&) const = default;
    };

    // "本の情報" for an EPUB reading, "文書の情報" otherwise.
    QString title;
    QList<Row> rows;
    // Present only for an EPUB reading: one sentence per kind of import notice, then the fixed note on
    // what is never reproduced.
    std::optional<QStringList> importNotes;

    // The rows, in this order, each only where its condition holds: "文書名" always; "元のファイル"
    // when a file name is given, even an empty one; "取得元" when the source is not empty (blank is
    // shown as it is); "取り込み日時" always; then, for an EPUB book, "著者", "出版者", "出版日", "言語"
    // and "識別子", each only when its list is not empty, all of its values joined by "、". The import time
    // is shown in the application's locale (the system's unless set otherwise) and the system's time zone.
    // Names, file names, the source and the metadata come from outside: each value is made one line by
    // oneLineText, so that none breaks its row or turns it round.
    static ReaderDocumentInformation make(const SavedReading& reading, const std::optional<QString>& originalFilename,
                                          const QLocale& locale = QLocale(),
                                          const QTimeZone& timeZone = QTimeZone::systemTimeZone());

    // No row for an empty list; otherwise every value, in stored order, joined by "、", uncut, on one line.
    static std::optional<Row> metadataRow(const QString& label, const QStringList& values);

    // The import time in the time zone, to the minute: "yyyy年M月d日 H:mm" for Japanese, otherwise the
    // locale's short date, with the year in full, and its short time without seconds.
    static QString formattedImportTime(Date date, const QLocale& locale, const QTimeZone& timeZone);

    // The heading of the notes section.
    static QString importNotesTitle();

    bool operator==(const ReaderDocumentInformation&) const = default;
};

}  // namespace tavrine
