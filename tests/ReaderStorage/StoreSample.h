#pragma once

// A valid store that fills every field the store file and the progress file can hold: an EPUB reading
// with a whole book's information, a reading imported from a text file with its bytes, and a reading
// only in the history; texts that need escaping, every enumeration case, and dates at the edges of the
// doubles. fixtures/ holds this store as the QJsonDocument-based writer wrote it, so this header builds
// the same value against that earlier code too: keep it to the value types alone.
#include "ReaderStorage/LibraryTextFile.h"
#include "ReaderStorage/internal/ReadingStoreSnapshot.h"

#include <QCryptographicHash>

#include <limits>

namespace tavrine::test {

// The bytes of the EPUB reading's kept original.
inline QByteArray sampleOriginal() {
    return QByteArrayLiteral("PK\x03\x04 the kept bytes of a book");
}

inline ReadingStoreSnapshot storeSample() {
    using namespace Qt::StringLiterals;
    using Destination = EPUBBook::Destination;
    using Unavailable = EPUBBook::Unavailable;
    const auto id = [](int number) {
        return QUuid::fromString(u"6F1C0E2A-0000-4000-8000-%1"_s.arg(number, 12, 10, QLatin1Char('0')));
    };

    // Quotes, a backslash, control characters, a lone combining mark after a letter, a pair of
    // surrogates, the line and paragraph separators and a byte-order mark.
    const QString chapter1 = u"第一章 \"引用\" と \\ と\tタブ\n"_s;
    const QString chapter2 = u"😺は猫。e\u0301 \u0001\u001f\u007f\u2028\u2029\ufeff終わり"_s;
    const QString text = chapter1 + chapter2;
    const qsizetype c2 = chapter1.size();

    ReadingDocument document;
    document.text = text;
    document.sections = QList{ReadingDocument::Section{u"c1"_s, u"第一章"_s, 0, c2},
                              ReadingDocument::Section{u"c2"_s, std::nullopt, c2, text.size()}};
    qint64 level = 0;
    for (const auto& [kind, name] : EnumTable<ReadingDocument::Span::Kind>::entries) {
        document.spans.append({kind, level % c2, c2 + 2 + level % 5, level});
        level = level == 0 ? 1 : std::min<qint64>(level * 7, ReadingDocument::Span::kMaximumLevel);
    }

    EPUBBook::Information book;
    book.metadata = {{u"猫"_s, u"Cat"_s}, {u"夏目漱石"_s},   {u"ja"_s}, {u"urn:uuid:neko"_s, u"isbn:0"_s}, {},
                     {u"1905"_s},         u"urn:uuid:neko"_s};
    book.navigation = {
        {u"n1"_s,
         u"第一章"_s,
         u"ch1.xhtml"_s,
         Destination::position(u"c1"_s, 0),
         {{u"n1-1"_s, u"節"_s, u"ch1.xhtml#a"_s, Destination::position(u"c1"_s, 4)},
          {u"n1-2"_s, u"外"_s, u"https://example.com/"_s, Destination::unavailable(Unavailable::externalReference)}}},
        {u"n2"_s,
         u"まとめ"_s,
         std::nullopt,
         Destination::unavailable(Unavailable::group),
         {{u"n2-1"_s, u"第二章"_s, u"ch2.xhtml"_s, Destination::position(u"c2"_s, c2 + 2)},
          {u"n2-2"_s, u""_s, u"::"_s, Destination::unavailable(Unavailable::invalidReference)},
          {u"n2-3"_s, u"無"_s, u"gone.xhtml"_s, Destination::unavailable(Unavailable::missingResource)},
          {u"n2-4"_s, u"除"_s, u"style.css"_s, Destination::unavailable(Unavailable::excludedResource)},
          {u"n2-5"_s, u"錨"_s, u"ch2.xhtml#none"_s, Destination::unavailable(Unavailable::missingAnchor)}}}};
    book.links = {{0, 3, u"ch2.xhtml"_s, Destination::position(u"c2"_s, c2)},
                  {c2, c2 + 2, u"#none"_s, Destination::unavailable(Unavailable::missingAnchor)}};
    for (const auto& [kind, name] : EnumTable<EPUBBook::Notice::Kind>::entries) {
        book.notices.append(
            {kind, book.notices.size() % 2 == 0 ? std::optional(u"OEBPS/%1"_s.arg(QStringView(name))) : std::nullopt});
    }
    book.packagePath = u"OEBPS/content.opf"_s;

    StoredReading epub;
    epub.reading = SavedReading{id(1),
                                document,
                                u"猫"_s,
                                book,
                                u"https://example.com/neko?a=1&b=\"2\""_s,
                                Date{-62'135'596'800.0 - 978'307'200.0}};  // the year 1
    const QByteArray original = sampleOriginal();
    epub.originalEPUB =
        EPUBOriginal{u"Neko.epub"_s, original.size(),
                     QString::fromLatin1(QCryptographicHash::hash(original, QCryptographicHash::Sha256).toHex())};
    epub.isInLibrary = true;
    epub.progress = {c2 + 2, false};
    epub.lastPlayedAt = Date{253'402'300'799.0 - 978'307'200.0};  // the end of the year 9999

    const QString filename = u"吾輩.txt"_s;
    const QByteArray bytes = "\xEF\xBB\xBF吾輩は猫である。\r\n名前はまだ無い。\n";
    StoredReading textFile;
    textFile.reading = SavedReading{
        id(2), *LibraryTextFile::decodeText(filename, bytes), filename, std::nullopt, std::nullopt, Date{0.1}};
    textFile.originalTextFile = LibraryTextFile{filename, bytes};
    textFile.isInLibrary = true;
    textFile.progress = {3, true};
    textFile.lastPlayedAt = Date{1e-300};

    StoredReading history;
    history.reading = SavedReading{id(3),          {std::nullopt, u"履歴だけの本文"_s, {}},
                                   std::nullopt,   std::nullopt,
                                   u"clipboard"_s, Date{786'543'210.123456789}};
    history.lastPlayedAt = Date{std::numeric_limits<double>::max()};

    return ReadingStoreSnapshot{ReadingStoreSnapshot::kEPUBVersion, id(99), true, 3, {epub, textFile, history},
                                QSet<QUuid>{id(7), id(8)}};
}

}  // namespace tavrine::test
