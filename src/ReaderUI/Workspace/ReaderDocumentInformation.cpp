#include "ReaderUI/Workspace/ReaderDocumentInformation.h"

#include "ReaderCore/PrintableText.h"
#include "ReaderUI/EPUBNavigationRows.h"
#include "ReaderUI/Workspace/ReaderDocumentIdentity.h"

#include <QDateTime>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tavrine {

ReaderDocumentInformation ReaderDocumentInformation::make(const SavedReading& reading,
                                                          const std::optional<QString>& originalFilename,
                                                          const QLocale& locale, const QTimeZone& timeZone) {
    ReaderDocumentInformation information;
    information.title = reading.epub ? u"本の情報"_s : u"文書の情報"_s;

    QList<Row>& rows = information.rows;
    rows.append({u"文書名"_s, ReaderDocumentIdentity::shownTitle(reading)});
    if (originalFilename) rows.append({u"元のファイル"_s, oneLineText(*originalFilename)});
    if (reading.source && !reading.source->isEmpty()) rows.append({u"取得元"_s, oneLineText(*reading.source)});
    rows.append({u"取り込み日時"_s, formattedImportTime(reading.importedAt, locale, timeZone)});

    if (reading.epub) {
        const EPUBBook::Metadata& metadata = reading.epub->metadata;
        for (auto row : {metadataRow(u"著者"_s, metadata.creators), metadataRow(u"出版者"_s, metadata.publishers),
                         metadataRow(u"出版日"_s, metadata.dates), metadataRow(u"言語"_s, metadata.languages),
                         metadataRow(u"識別子"_s, metadata.identifiers)}) {
            if (row) rows.append(*std::move(row));
        }
        QStringList notes = EPUBNavigationRows::noticeMessages(reading.epub->notices);
        notes.append(
            u"画像・縦組み・元のページ配置は再現しません。保存した本文を再生します。外部リンクは開きません。"_s);
        information.importNotes = std::move(notes);
    }
    return information;
}

std::optional<ReaderDocumentInformation::Row> ReaderDocumentInformation::metadataRow(const QString& label,
                                                                                     const QStringList& values) {
    if (values.isEmpty()) return std::nullopt;
    return Row{label, oneLineText(values.join(u'、'))};
}

namespace {

// A time format without its seconds (and fractions of them), each with the separator before it: the
// short time of some locales, the C locale's among them, shows seconds.
QString withoutSeconds(const QString& format) {
    QString kept;
    qsizetype index = 0;
    while (index < format.size()) {
        const QChar character = format.at(index);
        if (character == u'\'') {
            // A quoted literal stays as it is, closing quote included.
            const qsizetype end = format.indexOf(u'\'', index + 1);
            const qsizetype next = end < 0 ? format.size() : end + 1;
            kept += QStringView(format).sliced(index, next - index);
            index = next;
        } else if (character == u's' || character == u'z') {
            while (!kept.isEmpty() && !kept.back().isLetter() && kept.back() != u'\'') kept.chop(1);
            while (index < format.size() && (format.at(index) == u's' || format.at(index) == u'z')) ++index;
        } else {
            kept += character;
            ++index;
        }
    }
    return kept;
}

}  // namespace

QString ReaderDocumentInformation::formattedImportTime(Date date, const QLocale& locale, const QTimeZone& timeZone) {
    // A stored date is any double: one no calendar can show gives an empty text rather than overflow.
    constexpr double kLatestMilliseconds = 8.64e15;
    const double milliseconds = std::floor(date.unixSeconds() * 1000);
    if (!(std::abs(milliseconds) <= kLatestMilliseconds)) return QString();
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(milliseconds), timeZone);
    if (locale.language() == QLocale::Japanese) return locale.toString(time, u"yyyy年M月d日 H:mm"_s);
    QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    if (!dateFormat.contains(u"yyyy"_s)) dateFormat.replace(u"yy"_s, u"yyyy"_s);
    return locale.toString(time, dateFormat + u' ' + withoutSeconds(locale.timeFormat(QLocale::ShortFormat)));
}

QString ReaderDocumentInformation::importNotesTitle() {
    return u"この本の取り込みについて"_s;
}

}  // namespace tavrine
