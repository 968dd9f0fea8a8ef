#include "ReaderStorage/EPUBOriginal.h"
#include "ReaderStorage/LibraryFileImport.h"
#include "ReaderStorage/LibraryTextFile.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <optional>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Failure = LibraryTextFile::Failure;

const QByteArray kMark("\xEF\xBB\xBF");

QByteArray utf8(const QString& text) {
    return text.toUtf8();
}

// Every case is judged by its first failing check: the name, the size, the encoding, then the content.
TEST(LibraryTextFile, TheGateAcceptsOrRefusesEachFileAtItsFirstFailure) {
    constexpr qsizetype kBytes = LibraryTextFile::byteLimit;
    constexpr qsizetype kUnits = LibraryTextFile::utf16Limit;
    constexpr qsizetype kThreshold = LibraryTextFile::kCharacterCheckThreshold;
    // A byte-order mark and 500,000 three-byte characters: exactly at both limits.
    const QByteArray atBothLimits = kMark + utf8(QString(kUnits, u'あ'));
    ASSERT_EQ(atBothLimits.size(), kBytes);
    QString emoji;  // as many units as the limit allows, two per character
    for (int i = 0; i < kUnits / 2; ++i) emoji += u"\U0001F600"_s;
    // A text of `length` units that starts with one Character of `units` units.
    const auto complex = [](qsizetype units, qsizetype length) {
        return utf8(u'a' + QString(units - 1, QChar(0x0301)) + QString(length - units, u'x'));
    };

    const struct {
        const char* what;
        QByteArray data;
        std::optional<Failure> failure;
        QString name = u"notes.txt"_s;
    } cases[] = {
        {"a bare .txt name in any case", "hello", std::nullopt, u"Notes.TXT"_s},
        {"dots in the name", "hello", std::nullopt, u"a.b.txt"_s},
        {"a Japanese name", "hello", std::nullopt, u"メモ.Txt"_s},
        {"no name", "hello", Failure::unsupportedFormat, QString()},
        {"another extension", "hello", Failure::unsupportedFormat, u"notes.text"_s},
        {"no extension", "hello", Failure::unsupportedFormat, u"notes"_s},
        {"a folder", "hello", Failure::unsupportedFormat, u"folder/notes.txt"_s},
        {"a trailing slash", "hello", Failure::unsupportedFormat, u"notes.txt/"_s},
        {"only an extension", "hello", Failure::unsupportedFormat, u".txt"_s},
        {"a trailing dot", "hello", Failure::unsupportedFormat, u"notes.txt."_s},
        {"the name before the size", QByteArray(kBytes + 1, '\xFF'), Failure::unsupportedFormat, u"notes.md"_s},

        {"at both limits", atBothLimits, std::nullopt},
        {"one byte over, the mark counted", atBothLimits + '\n', Failure::tooLong},
        {"bad bytes at the byte limit", QByteArray(kBytes, '\xFF'), Failure::invalidEncoding},
        {"the size before the encoding", QByteArray(kBytes + 1, '\xFF'), Failure::tooLong},
        {"at the UTF-16 limit", QByteArray(kUnits, 'a'), std::nullopt},
        {"one unit over", QByteArray(kUnits + 1, 'a'), Failure::tooLong},
        {"surrogate pairs at the UTF-16 limit", utf8(emoji), std::nullopt},
        {"surrogate pairs and one unit over", utf8(emoji + u'a'), Failure::tooLong},
        {"a long Character in a text at the threshold", complex(300, kThreshold), std::nullopt},
        {"a long Character in a longer text", complex(300, kThreshold + 1), Failure::tooComplex},
        {"a Character at its limit", complex(LibraryTextFile::characterUTF16Limit, kThreshold + 1), std::nullopt},
        {"a Character over its limit", complex(LibraryTextFile::characterUTF16Limit + 1, kThreshold + 1),
         Failure::tooComplex},
        {"a long Character at the end", utf8(QString(kThreshold, u'x') + u'a' + QString(256, QChar(0x0301))),
         Failure::tooComplex},

        {"UTF-8 with a mark", kMark + "text", std::nullopt},
        {"UTF-16 big-endian", QByteArray("\xFE\xFF\0a\0b", 6), Failure::invalidEncoding},
        {"UTF-16 little-endian",
         QByteArray("\xFF\xFE"
                    "a\0b\0",
                    6),
         Failure::invalidEncoding},
        {"Latin-1", "caf\xE9", Failure::invalidEncoding},
        {"Shift_JIS", "\x82\xA0\x82\xA2", Failure::invalidEncoding},
        {"an overlong NUL", "\xC0\x80", Failure::invalidEncoding},
        {"an encoded surrogate", "\xED\xA0\x80", Failure::invalidEncoding},
        {"past U+10FFFF", "\xF4\x90\x80\x80", Failure::invalidEncoding},
        {"cut off at the end", "abc\xE3\x81", Failure::invalidEncoding},
        {"the encoding before the content", QByteArray("\x01\xFF", 2), Failure::invalidEncoding},

        {"tabs and line breaks", "a\tb\nc\r\nd", std::nullopt},
        {"a no-break space", utf8(u"no-break\u00A0space"_s), std::nullopt},
        {"a form feed", "text \x0C more", Failure::nonText},
        {"NUL", QByteArray("text \0 more", 11), Failure::nonText},
        {"DEL", "text \x7F more", Failure::nonText},
        {"U+0085", utf8(u"text \u0085 more"_s), Failure::nonText},
        {"U+009F", utf8(u"text \u009F more"_s), Failure::nonText},
        {"U+FFFD", utf8(u"text \uFFFD more"_s), Failure::nonText},
        {"an escape sequence", "text \x1B[0m more", Failure::nonText},
        {"the content before blankness", "\x0C", Failure::nonText},
        {"nothing", QByteArray(), Failure::empty},
        {"only a mark", kMark, Failure::empty},
        {"only white space", utf8(u" \t\r\n\u3000\u2028\u2029\u00A0 "_s), Failure::empty},
    };
    for (const auto& c : cases) {
        const auto result = LibraryTextFile::decodeText(c.name, c.data);
        EXPECT_EQ(result ? std::nullopt : std::optional(result.error()), c.failure) << c.what;
    }
}

TEST(LibraryTextFile, TheTextIsKeptVerbatimWithoutOneLeadingMark) {
    const auto text = [](const QByteArray& data) {
        return LibraryTextFile::decodeText(u"notes.txt"_s, data).value_or(ReadingDocument{}).text;
    };
    EXPECT_EQ(LibraryTextFile::decodeText(u"a.txt"_s, "  first\r\nsecond\n"),
              (ReadingDocument{std::nullopt, u"  first\r\nsecond\n"_s, {}}));
    EXPECT_EQ(text(kMark + utf8(u"吾輩は猫"_s)), u"吾輩は猫"_s);
    EXPECT_EQ(text(kMark + kMark + "a"), u"\uFEFFa"_s);
    EXPECT_EQ(text("a" + kMark), u"a\uFEFF"_s);
}

TEST(LibraryTextFile, TheBytesAreKeptUnchangedAndStoredAsBase64) {
    EXPECT_EQ(LibraryTextFile::create(u"a.txt"_s, kMark + "hi"), (LibraryTextFile{u"a.txt"_s, kMark + "hi"}));
    EXPECT_EQ(LibraryTextFile::create(u"a.txt"_s, "   "), tl::unexpected(Failure::empty));

    const LibraryTextFile file{u"a.txt"_s, QByteArray("\xEF\xBB\xBFhi\0", 6)};
    EXPECT_EQ(toJson(file)[u"data"_s].toString(), u"77u/aGkA"_s);
    EXPECT_EQ(decodeJson(toJson(file), JsonPath(), std::type_identity<LibraryTextFile>{}), file);
    EXPECT_FALSE(decodeJsonText<LibraryTextFile>(R"({"filename":"a.txt"})"));
}

TEST(LibraryFileImport, ByteLimitFollowsTheKindOfFile) {
    EXPECT_EQ(LibraryFileImport::byteLimit(u"NOTES.TXT"_s), 1'500'003);
    EXPECT_EQ(LibraryFileImport::byteLimit(u"Book.ePub"_s), 33'554'432);
    for (const QString& name : {u"notes.text"_s, u"archive.zip"_s, u"notes"_s, QString()}) {
        EXPECT_EQ(LibraryFileImport::byteLimit(name), tl::unexpected(Failure::unsupportedFormat)) << name;
    }
}

TEST(EPUBOriginal, TheRecordIsCheckedForFormOnly) {
    const QString digest = sha256Hex("abc");
    EXPECT_EQ(digest, u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s);
    const struct {
        QString filename;
        qint64 byteCount;
        QString sha256;
        bool valid;
    } cases[] = {
        {u"novel.epub"_s, 1, digest, true},
        {u"novel.EPUB"_s, EPUBOriginal::kByteLimit, digest.toUpper(), true},
        {u"a.epub"_s, 1, u"\uFF10\uFF21\uFF46"_s + digest.mid(3), true},  // fullwidth 0 A f
        {QString(), 1, digest, false},
        {u"books/novel.epub"_s, 1, digest, false},
        {u"novel.epub/"_s, 1, digest, false},
        {u"novel.zip"_s, 1, digest, false},
        {u".epub"_s, 1, digest, false},
        {u"a.epub"_s, EPUBOriginal::kByteLimit + 1, digest, false},
        {u"a.epub"_s, 0, digest, false},
        {u"a.epub"_s, -1, digest, false},
        {u"a.epub"_s, 1, digest.left(63), false},
        {u"a.epub"_s, 1, digest + u'0', false},
        {u"a.epub"_s, 1, u'g' + digest.mid(1), false},
        {u"a.epub"_s, 1, u"\U0001F600"_s + digest.mid(2), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ((EPUBOriginal{c.filename, c.byteCount, c.sha256}.isValid()), c.valid)
            << c.filename << " " << c.byteCount << " " << c.sha256;
    }

    const EPUBOriginal value{u"本.epub"_s, 123, digest};
    EXPECT_EQ(decodeJson(toJson(value), JsonPath(), std::type_identity<EPUBOriginal>{}), value);
    EXPECT_FALSE(decodeJsonText<EPUBOriginal>(R"({"filename":"a.epub","sha256":"00"})"));
}

}  // namespace
}  // namespace tavrine
