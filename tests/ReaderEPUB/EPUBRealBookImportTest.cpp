// Whole imports of published books: the shared sample book and the books of Debian's documentation
// packages, read in place.
#include "EPUBTestSupport.h"
#include "support/EPUBRealBookSupport.h"

#include "support/RunTask.h"
#include "support/SharedData.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <functional>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace test;
using Kind = Failure::Kind;
using NoticeKind = EPUBBook::Notice::Kind;

const QString kSampleBook = u"epub/kusamakura.epub"_s;
const QString kPolicyBook = u"/usr/share/doc/debian-policy/policy.epub"_s;
const QString kLiveManuals = u"/usr/share/doc/live-manual/epub"_s;

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

EPUBReader::Result<EPUBBook> imported(const QByteArray& bytes) {
    return EPUBReader().readSynchronously(bytes, CancellationToken::none());
}

#define SKIP_WITHOUT_PACKAGE(condition, package)                                                                    \
    if (!(condition)) {                                                                                             \
        GTEST_SKIP() << "Debian's " << (package) << " package is not installed (scripts/install-deps installs it)"; \
    }

// The text of the line that holds offset.
QString lineAt(const QString& text, qsizetype offset) {
    const qsizetype start = offset == 0 ? 0 : text.lastIndexOf(u'\n', offset - 1) + 1;
    const qsizetype end = text.indexOf(u'\n', offset);
    return text.mid(start, (end < 0 ? text.size() : end) - start);
}

TEST(EPUBRealBookImport, TheSampleBookImportsAsPublishedWithItsChaptersAndRubyBases) {
    const QString path = sharedDataFile(kSampleBook);
    TAVRINE_SKIP_WITHOUT(path, kSampleBook);
    // As published, its Japanese names are UTF-8 without the UTF-8 flag; with the flag the book is the same.
    const auto book = runTask(EPUBReader().read(fileBytes(path), CancellationToken()));
    ASSERT_TRUE(book.has_value() && book->has_value()) << failureName(book->error());
    const auto flagged = imported(repackedWithUTF8Names(path));
    EXPECT_TRUE(flagged && *flagged == **book);
    const EPUBBook& sample = **book;
    EXPECT_EQ(sample.packagePath, u"OPS/package.opf"_s);
    EXPECT_EQ(sample.metadata.titles, QStringList{u"草枕"_s});
    EXPECT_EQ(sample.metadata.creators, QStringList{u"夏目 漱石"_s});
    EXPECT_EQ(sample.metadata.uniqueIdentifier, u"http://www.aozora.gr.jp/cards/000148/card776.html"_s);

    // The cover, thirteen chapters and the afterword; the table of contents is not in the reading order.
    const QStringList chapters{u"一"_s, u"二"_s, u"三"_s, u"四"_s,   u"五"_s,   u"六"_s,  u"七"_s,
                               u"八"_s, u"九"_s, u"十"_s, u"十一"_s, u"十二"_s, u"十三"_s};
    const QList<ReadingDocument::Section>& sections = *sample.document.sections;
    ASSERT_EQ(sections.size(), 15);
    EXPECT_EQ(sections.first().id, u"OPS/package.opf#表紙"_s);
    EXPECT_EQ(sections.last().id, u"OPS/package.opf#後付"_s);
    EXPECT_EQ(sections.last().title, u"この文書について"_s);
    for (qsizetype i = 0; i < chapters.size(); ++i) {
        EXPECT_EQ(sections[i + 1].id, u"OPS/package.opf#"_s + chapters[i]);
        EXPECT_EQ(sections[i + 1].title, chapters[i]);
    }

    // Ruby keeps its base text and drops the reading; images show their alternative text.
    const QString& text = sample.document.text;
    EXPECT_TRUE(text.startsWith(u"［画像：ロゴマーク:総務省 Let's 書デジ］\n草枕\n夏目漱石\n"_s)) << text.left(40);
    EXPECT_TRUE(text.mid(sections[1].start).startsWith(u"一\n山路を登りながら、こう考えた。\n智に働けば角が立つ。"_s));
    EXPECT_FALSE(text.contains(u"やまみち"_s));
    EXPECT_FALSE(text.contains(u"\n\n"_s));
    EXPECT_TRUE(text.contains(u"\n• 文字コードを Shift-JIS から UTF-8 に変更\n"_s));

    // Every entry leads to the start of its chapter.
    ASSERT_EQ(sample.navigation.size(), 14);
    for (qsizetype i = 0; i < sample.navigation.size(); ++i) {
        const EPUBBook::Navigation& entry = sample.navigation[i];
        EXPECT_EQ(entry.id, u"OPS/xhtml/目次.xhtml/"_s + QString::number(i));
        EXPECT_EQ(entry.label, i < chapters.size() ? chapters[i] : u"この文書について"_s);
        EXPECT_EQ(entry.destination, EPUBBook::Destination::position(sections[i + 1].id, sections[i + 1].start));
    }

    // The audio narrations are listed but absent; only the media overlays name them, so the text loses
    // nothing and no notice is due.
    QList<EPUBBook::Notice> notices;
    QStringList byPath = chapters;
    std::sort(byPath.begin(), byPath.end(),
              [](const QString& a, const QString& b) { return a.toStdU32String() < b.toStdU32String(); });
    for (const QString& chapter : byPath) {
        notices.append({NoticeKind::rubyAnnotationOmitted, u"OPS/xhtml/"_s + chapter + u".xhtml"_s});
    }
    notices.append({NoticeKind::omittedNonlinear, u"OPS/xhtml/目次.xhtml"_s});
    notices.append({NoticeKind::imagePlaceholder, u"OPS/xhtml/表紙.xhtml"_s});
    EXPECT_EQ(sample.notices, notices);

    ASSERT_EQ(sample.links.size(), 3);
    const EPUBBook::Link& link = sample.links.first();
    EXPECT_EQ(link.reference, u"http://www.aozora.gr.jp/cards/000148/card776.html"_s);
    EXPECT_EQ(text.mid(link.start, link.end - link.start), link.reference);
    EXPECT_TRUE(sample.information().isValid(sample.document));
}

TEST(EPUBRealBookImport, DebianPolicyImportsOnceItsMimetypeEntryComesFirst) {
    SKIP_WITHOUT_PACKAGE(QFile::exists(kPolicyBook), "debian-policy");
    EXPECT_EQ(failureOf(imported(fileBytes(kPolicyBook))), failure(Kind::invalidArchive));

    const auto book = imported(repackedWithUTF8Names(kPolicyBook));
    ASSERT_TRUE(book.has_value()) << failureName(book.error());
    EXPECT_EQ(book->metadata.titles, QStringList{u"Debian Policy Manual"_s});
    const QList<ReadingDocument::Section>& sections = *book->document.sections;
    ASSERT_EQ(sections.size(), 24);
    EXPECT_EQ(sections.first().title, u"1. About this manual"_s);
    EXPECT_EQ(sections.last().title, u"Index"_s);

    // The title page is the guide's table of contents, left out of the text: its entry leads nowhere.
    ASSERT_FALSE(book->navigation.isEmpty());
    EXPECT_EQ(book->navigation[0].destination,
              EPUBBook::Destination::unavailable(EPUBBook::Unavailable::excludedResource));
    EXPECT_TRUE(book->notices.contains(EPUBBook::Notice{NoticeKind::omittedNavigation, u"index.xhtml"_s}));
    EXPECT_TRUE(book->notices.contains(EPUBBook::Notice{NoticeKind::unresolvedNavigation, u"nav.xhtml"_s}));

    // Every other entry lands on the numbered heading that carries its label.
    qsizetype positions = 0;
    std::function<void(const QList<EPUBBook::Navigation>&)> check = [&](const auto& entries) {
        for (const EPUBBook::Navigation& entry : entries) {
            if (const auto* position = entry.destination.asPosition()) {
                ++positions;
                EXPECT_TRUE(lineAt(book->document.text, position->utf16Offset).endsWith(entry.label)) << entry.id;
            }
            check(entry.children);
        }
    };
    check(book->navigation);
    EXPECT_EQ(positions, 325);
    EXPECT_TRUE(book->information().isValid(book->document));

    // Its lists hold their text in paragraphs; each item reads as one line with its marker.
    static const QRegularExpression marker(u"^(•|-?[0-9]+\\.)( |$)"_s);
    qsizetype items = 0;
    for (const QString& line : book->document.text.split(u'\n')) {
        const QRegularExpressionMatch match = marker.match(line);
        if (!match.hasMatch()) continue;
        ++items;
        EXPECT_GT(line.size(), match.capturedLength()) << "a line of only a marker, item " << items;
    }
    EXPECT_EQ(items, 389);
}

TEST(EPUBRealBookImport, LiveManualsAreRefusedForTheirMimetypeAndManifest) {
    const QFileInfoList manuals = QDir(kLiveManuals).entryInfoList({u"*.epub"_s}, QDir::Files);
    SKIP_WITHOUT_PACKAGE(!manuals.isEmpty(), "live-manual-epub");
    for (const QFileInfo& manual : manuals) {
        const QString path = manual.filePath();
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(failureOf(imported(fileBytes(path))), failure(Kind::invalidArchive));
        // First or not, their "mimetype" ends with a line feed it may not hold; and once that is mended
        // their manifest still names documents with fragments.
        EXPECT_EQ(failureOf(imported(repackedWithUTF8Names(path))), failure(Kind::invalidArchive));
        EXPECT_EQ(failureOf(imported(repackedWithUTF8Names(path, QByteArrayLiteral("application/epub+zip")))),
                  failure(Kind::invalidPackage));
    }
}

}  // namespace
}  // namespace tavrine
