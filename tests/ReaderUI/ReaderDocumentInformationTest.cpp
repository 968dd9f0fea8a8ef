#include "ReaderUI/Workspace/ReaderDocumentInformation.h"

#include "ReaderUI/Workspace/ReaderDocumentContext.h"
#include "ReaderUI/Workspace/ReaderEPUBPaneModel.h"

#include "support/CheckoutPaths.h"
#include "support/EventLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QProcess>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Row = ReaderDocumentInformation::Row;
using NoticeKind = EPUBBook::Notice::Kind;
using Section = ReadingDocument::Section;

const QString kFixedNote =
    u"画像・縦組み・元のページ配置は再現しません。保存した本文を再生します。外部リンクは開きません。"_s;
const QTimeZone kTokyo(QByteArrayLiteral("Asia/Tokyo"));
const QLocale kJapanese(QLocale::Japanese, QLocale::Japan);
// 2026-12-06 12:03:40 UTC, 21:03 in Tokyo.
const Date kImportedAt = Date::fromUnixSeconds(1796558620.75);

SavedReading plainText(std::optional<QString> source = std::nullopt) {
    SavedReading reading;
    reading.document.text = u"吾輩は猫である。"_s;
    reading.source = std::move(source);
    reading.importedAt = kImportedAt;
    return reading;
}

QStringList labels(const ReaderDocumentInformation& information) {
    QStringList result;
    for (const Row& row : information.rows) result.append(row.label);
    return result;
}

TEST(ReaderDocumentInformation, APlainTextShowsItsNameAndImportTimeAndNoNotes) {
    const auto information = ReaderDocumentInformation::make(plainText(), std::nullopt, kJapanese, kTokyo);
    EXPECT_EQ(information.title, u"文書の情報"_s);
    EXPECT_EQ(information.rows,
              (QList<Row>{{u"文書名"_s, u"吾輩は猫である。"_s}, {u"取り込み日時"_s, u"2026年12月6日 21:03"_s}}));
    EXPECT_EQ(information.importNotes, std::nullopt);
}

TEST(ReaderDocumentInformation, TheFileAndSourceRowsFollowTheirOwnConditions) {
    // An empty file name still has its row; a blank source is shown as it is; an empty one is left out.
    const auto withFile = ReaderDocumentInformation::make(plainText(u"  "_s), QString(), kJapanese, kTokyo);
    EXPECT_EQ(labels(withFile), (QStringList{u"文書名"_s, u"元のファイル"_s, u"取得元"_s, u"取り込み日時"_s}));
    EXPECT_EQ(withFile.rows[1].value, QString());
    EXPECT_EQ(withFile.rows[2].value, u"  "_s);

    const auto emptySource = ReaderDocumentInformation::make(plainText(QString()), std::nullopt, kJapanese, kTokyo);
    EXPECT_EQ(labels(emptySource), (QStringList{u"文書名"_s, u"取り込み日時"_s}));
}

TEST(ReaderDocumentInformation, ABookListsEveryMetadataValueThatItHasAndItsImportNotes) {
    SavedReading reading = plainText(u"草枕.epub"_s);
    reading.epub = EPUBBook::Information{};
    EPUBBook::Metadata& metadata = reading.epub->metadata;
    for (int i = 1; i <= 11; ++i) metadata.creators.append(u"著者%1"_s.arg(i));
    metadata.dates = {u"1906"_s, u"2011-06-01"_s};
    metadata.languages = {u"ja"_s};
    metadata.identifiers = {u"urn:uuid:1"_s, u"http://example.org/x"_s};
    reading.epub->notices = {{NoticeKind::tableFlattened, std::nullopt},
                             {NoticeKind::missingCreator, std::nullopt},
                             {NoticeKind::tableFlattened, u"a.xhtml"_s}};

    const auto information = ReaderDocumentInformation::make(reading, u"kusamakura.epub"_s, kJapanese, kTokyo);
    EXPECT_EQ(information.title, u"本の情報"_s);
    // No publisher: no row, and the rows after it keep their order.
    EXPECT_EQ(labels(information), (QStringList{u"文書名"_s, u"元のファイル"_s, u"取得元"_s, u"取り込み日時"_s,
                                                u"著者"_s, u"出版日"_s, u"言語"_s, u"識別子"_s}));
    // Unlike the author line, the row names every creator.
    EXPECT_EQ(information.rows[4].value, metadata.creators.join(u'、'));
    EXPECT_EQ(information.rows[5].value, u"1906、2011-06-01"_s);
    EXPECT_EQ(information.importNotes,
              (QStringList{u"著者の情報は本に含まれていません。"_s,
                           u"一部の表は表組みを再現せず、セルの文章を順に読みます。"_s, kFixedNote}));

    // A book without metadata or notices: the fixed note stands alone.
    reading.epub = EPUBBook::Information{};
    const auto bare = ReaderDocumentInformation::make(reading, std::nullopt, kJapanese, kTokyo);
    EXPECT_EQ(labels(bare), (QStringList{u"文書名"_s, u"取得元"_s, u"取り込み日時"_s}));
    EXPECT_EQ(bare.importNotes, QStringList{kFixedNote});
}

TEST(ReaderDocumentInformation, TheImportTimeIsLocalAndKeepsTheWholeYear) {
    EXPECT_EQ(ReaderDocumentInformation::formattedImportTime(kImportedAt, kJapanese, QTimeZone::utc()),
              u"2026年12月6日 12:03"_s);
    const QString american =
        ReaderDocumentInformation::formattedImportTime(kImportedAt, QLocale(QLocale::English, QLocale::UnitedStates),
                                                       QTimeZone(QByteArrayLiteral("America/New_York")));
    EXPECT_TRUE(american.startsWith(u"12/6/2026"_s)) << american;
    EXPECT_TRUE(american.contains(u"7:03"_s) && american.contains(u"AM"_s)) << american;
    const QString german = ReaderDocumentInformation::formattedImportTime(
        kImportedAt, QLocale(QLocale::German, QLocale::Germany), QTimeZone(QByteArrayLiteral("Europe/Berlin")));
    EXPECT_EQ(german, u"06.12.2026 13:03"_s);
    // The C locale's short time has seconds; the sheet stops at the minute.
    EXPECT_EQ(ReaderDocumentInformation::formattedImportTime(kImportedAt, QLocale::c(), QTimeZone::utc()),
              u"6 Dec 2026 12:03"_s);
    // A stored date no calendar can show leaves the value empty rather than wrapping around.
    EXPECT_EQ(ReaderDocumentInformation::formattedImportTime(Date{1e300}, kJapanese, kTokyo), QString());
    EXPECT_EQ(ReaderDocumentInformation::formattedImportTime(Date{std::nan("")}, kJapanese, kTokyo), QString());
}

// The sheet's import time as a process started under lang (and no other locale variable) shows it, in UTC.
QString importTimeUnder(const QString& lang) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : environment.keys()) {
        if (name.startsWith(u"LC_"_s) || name == u"LANGUAGE"_s) environment.remove(name);
    }
    environment.insert(u"LANG"_s, lang);
    environment.insert(u"TZ"_s, u"UTC"_s);
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(test::inCheckout(IMPORT_TIME_PROBE), {});
    EXPECT_TRUE(probe.waitForFinished(test::patienceMilliseconds()));
    EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}

TEST(ReaderDocumentInformation, TheImportTimeInTheProcessLocaleStopsAtTheMinute) {
    // Imported at 05:50:01.5: no locale shows the second.
    EXPECT_EQ(importTimeUnder(u"ja_JP.UTF-8"_s), u"2026年12月7日 5:50"_s);
    EXPECT_EQ(importTimeUnder(u"C.UTF-8"_s), u"7 Dec 2026 05:50"_s);
    EXPECT_EQ(importTimeUnder(u"de_DE.UTF-8"_s), u"07.12.2026 05:50"_s);
}

// A book's names come from its files and metadata: an override, a line break, a separator or an isolate in
// them is drawn on one line in stored order, in the sheet's rows, the current chapter and the pane's rows.
TEST(ReaderDocumentInformation, NamesFromTheBookAndItsFileAreShownOnOneLineInStoredOrder) {
    SavedReading reading = plainText(u"https://example.com/\u202Egnp.exe"_s);
    reading.title = u"photo\u202Egpj.txt"_s;
    reading.epub = EPUBBook::Information{};
    reading.epub->metadata.creators = {u"夏目\n    漱石"_s, u"\u2066某\u2069"_s};
    const auto information = ReaderDocumentInformation::make(reading, u"草枕\u2028上.epub"_s, kJapanese, kTokyo);
    EXPECT_EQ(information.rows[0].value, u"photo\\u202Egpj.txt"_s);
    EXPECT_EQ(information.rows[1].value, u"草枕 上.epub"_s);
    EXPECT_EQ(information.rows[2].value, u"https://example.com/\\u202Egnp.exe"_s);
    EXPECT_EQ(information.rows[4].value, u"夏目 漱石、\\u2066某\\u2069"_s);

    const Section chapter{u"c"_s, u" 第一章\n  \u202Eはじまり "_s, 0, 8};
    reading.document.sections = QList<Section>{chapter};
    EXPECT_EQ(ReaderDocumentContext::make({.reading = &reading, .currentSection = chapter}).chapter,
              u"第一章 \\u202Eはじまり"_s);
    EXPECT_EQ(ReaderEPUBPaneModel::chapterTitle(chapter, 0), u" 第一章 \\u202Eはじまり "_s);
    EXPECT_EQ(ReaderEPUBPaneModel::shownLabel(u"目次\r\n\u2067一"_s), u"目次 \\u2067一"_s);
}

}  // namespace
}  // namespace tavrine
