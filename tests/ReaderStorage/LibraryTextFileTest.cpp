#include "ReaderStorage/LibraryFileImport.h"
#include "ReaderStorage/LibraryTextFile.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Failure = LibraryTextFile::Failure;

const QByteArray kMark("\xEF\xBB\xBF");

tl::expected<ReadingDocument, Failure> decode(const QByteArray& data, const QString& name = u"notes.txt"_s) {
    return LibraryTextFile::decodeText(name, data);
}
std::optional<Failure> failureOf(const QByteArray& data, const QString& name = u"notes.txt"_s) {
    auto result = decode(data, name);
    if (result) return std::nullopt;
    return result.error();
}
QByteArray utf8(const QString& text) {
    return text.toUtf8();
}

TEST(LibraryTextFileNames, OnlyBareTxtNamesInAnyCaseAreAccepted) {
    const QByteArray text("hello");
    for (const QString& name : {u"notes.txt"_s, u"Notes.TXT"_s, u"a.b.txt"_s, u"メモ.Txt"_s}) {
        EXPECT_TRUE(decode(text, name)) << name;
    }
    for (const QString& name : {QString(), u"notes.text"_s, u"notes.md"_s, u"notes"_s, u"folder/notes.txt"_s,
                                u"notes.txt/"_s, u"/notes.txt"_s, u".txt"_s, u"notes.txt."_s}) {
        EXPECT_EQ(failureOf(text, name), Failure::unsupportedFormat) << name;
    }
    // The name is judged before anything about the bytes.
    EXPECT_EQ(failureOf(QByteArray(LibraryTextFile::byteLimit + 1, '\xFF'), u"notes.md"_s), Failure::unsupportedFormat);
}

TEST(LibraryTextFileNames, ByteLimitFollowsTheKindOfFile) {
    EXPECT_EQ(LibraryFileImport::byteLimit(u"notes.txt"_s), 1'500'003);
    EXPECT_EQ(LibraryFileImport::byteLimit(u"NOTES.TXT"_s), 1'500'003);
    EXPECT_EQ(LibraryFileImport::byteLimit(u"Book.ePub"_s), 33'554'432);
    for (const QString& name : {u"notes.text"_s, u"archive.zip"_s, u"notes"_s, QString()}) {
        EXPECT_EQ(LibraryFileImport::byteLimit(name), tl::unexpected(Failure::unsupportedFormat)) << name;
    }
}

TEST(LibraryTextFileLimits, ByteLimitCountsTheMarkAndComesBeforeDecoding) {
    // A byte-order mark and 500,000 three-byte characters: exactly at both limits.
    const QString atLimit(LibraryTextFile::utf16Limit, u'あ');
    const QByteArray file = kMark + utf8(atLimit);
    ASSERT_EQ(file.size(), LibraryTextFile::byteLimit);
    const auto document = decode(file);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->text, atLimit);
    EXPECT_EQ(failureOf(file + '\n'), Failure::tooLong);

    // Bytes that are not UTF-8 show which check ran: the size is judged first.
    EXPECT_EQ(failureOf(QByteArray(LibraryTextFile::byteLimit, '\xFF')), Failure::invalidEncoding);
    EXPECT_EQ(failureOf(QByteArray(LibraryTextFile::byteLimit + 1, '\xFF')), Failure::tooLong);
}

TEST(LibraryTextFileLimits, TextLimitCountsUTF16Units) {
    EXPECT_TRUE(decode(QByteArray(LibraryTextFile::utf16Limit, 'a')));
    EXPECT_EQ(failureOf(QByteArray(LibraryTextFile::utf16Limit + 1, 'a')), Failure::tooLong);

    // A character outside the Basic Multilingual Plane takes two units.
    QString emoji;
    for (int i = 0; i < LibraryTextFile::utf16Limit / 2; ++i) emoji += u"\U0001F600"_s;
    EXPECT_TRUE(decode(utf8(emoji)));
    EXPECT_EQ(failureOf(utf8(emoji + u'a')), Failure::tooLong);
}

TEST(LibraryTextFileLimits, LongCharactersAreRefusedOnlyInLongTexts) {
    const auto character = [](qsizetype units) -> QString { return u'a' + QString(units - 1, QChar(0x0301)); };
    const auto textOf = [](const QString& character, qsizetype length) {
        return utf8(character + QString(length - character.size(), u'x'));
    };
    constexpr qsizetype threshold = LibraryTextFile::kCharacterCheckThreshold;

    EXPECT_TRUE(decode(textOf(character(300), threshold)));
    EXPECT_EQ(failureOf(textOf(character(300), threshold + 1)), Failure::tooComplex);
    EXPECT_TRUE(decode(textOf(character(LibraryTextFile::characterUTF16Limit), threshold + 1)));
    EXPECT_EQ(failureOf(textOf(character(LibraryTextFile::characterUTF16Limit + 1), threshold + 1)),
              Failure::tooComplex);
    // Found anywhere in the text, not only at its start.
    EXPECT_EQ(failureOf(utf8(QString(threshold, u'x') + character(257))), Failure::tooComplex);
}

TEST(LibraryTextFileEncodings, UTF8WithOrWithoutOneMarkIsTheSameText) {
    const QByteArray plain = utf8(u"吾輩は猫である。\n"_s);
    ASSERT_TRUE(decode(plain));
    EXPECT_EQ(decode(kMark + plain), decode(plain));
    // Only one mark is dropped; a second stays in the text.
    EXPECT_EQ(decode(kMark + kMark + plain)->text, u"\uFEFF吾輩は猫である。\n"_s);
    // A mark elsewhere than at the very start is text.
    EXPECT_EQ(decode("a" + kMark)->text, u"a\uFEFF"_s);
}

TEST(LibraryTextFileEncodings, OtherEncodingsAndMalformedUTF8AreRefused) {
    const QString text = u"ab"_s;
    const QByteArray utf16BE = QByteArray("\xFE\xFF", 2) + QByteArray("\0a\0b", 4);
    const QByteArray utf16LE = QByteArray("\xFF\xFE", 2) + QByteArray("a\0b\0", 4);
    EXPECT_EQ(failureOf(utf16BE), Failure::invalidEncoding);
    EXPECT_EQ(failureOf(utf16LE), Failure::invalidEncoding);
    EXPECT_EQ(failureOf("caf\xE9"), Failure::invalidEncoding);           // Latin-1
    EXPECT_EQ(failureOf("\x82\xA0\x82\xA2"), Failure::invalidEncoding);  // Shift_JIS
    EXPECT_EQ(failureOf("\xC0\x80"), Failure::invalidEncoding);          // overlong NUL
    EXPECT_EQ(failureOf("\xED\xA0\x80"), Failure::invalidEncoding);      // an encoded surrogate
    EXPECT_EQ(failureOf("\xF4\x90\x80\x80"), Failure::invalidEncoding);  // past U+10FFFF
    EXPECT_EQ(failureOf("abc\xE3\x81"), Failure::invalidEncoding);       // cut off at the end
    // Encoding is judged before the text: a malformed file with a control character is still malformed.
    EXPECT_EQ(failureOf(QByteArray("\x01\xFF", 2)), Failure::invalidEncoding);
}

TEST(LibraryTextFileContent, ControlCharactersOtherThanTabAndLineBreaksAreNotText) {
    EXPECT_TRUE(decode("a\tb\nc\r\nd"));
    for (const QString& bad :
         {u"\u000C"_s, QString(QChar(0)), u"\u007F"_s, u"\u0085"_s, u"\u009F"_s, u"\uFFFD"_s, u"\u001B[0m"_s}) {
        EXPECT_EQ(failureOf(utf8(u"text " + bad + u" more")), Failure::nonText) << bad.toUcs4().first();
    }
    EXPECT_TRUE(decode(utf8(u"no-break\u00A0space and U+00A0 is fine"_s)));
    // The control test comes before the blank test: a file of a form feed is not text, not empty.
    EXPECT_EQ(failureOf("\x0C"), Failure::nonText);
}

TEST(LibraryTextFileContent, BlankFilesAreEmptyAndTextIsKeptVerbatim) {
    EXPECT_EQ(failureOf(QByteArray()), Failure::empty);
    EXPECT_EQ(failureOf(kMark), Failure::empty);
    EXPECT_EQ(failureOf(utf8(u" \t\r\n\u3000\u2028\u2029\u00A0 "_s)), Failure::empty);

    const auto document = decode("  first\r\nsecond\n");
    ASSERT_TRUE(document);
    EXPECT_EQ(*document, (ReadingDocument{std::nullopt, u"  first\r\nsecond\n"_s, {}}));
}

TEST(LibraryTextFileValue, CreateChecksAndKeepsTheBytesUnchanged) {
    const QByteArray bytes = kMark + "hello";
    const auto file = LibraryTextFile::create(u"hello.txt"_s, bytes);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->filename, u"hello.txt"_s);
    EXPECT_EQ(file->data, bytes);
    EXPECT_EQ(LibraryTextFile::create(u"hello.txt"_s, "   "), tl::unexpected(Failure::empty));
}

TEST(LibraryTextFileValue, JsonKeepsTheBytesAsBase64AndRequiresBothKeys) {
    const LibraryTextFile file{u"a.txt"_s, QByteArray("\xEF\xBB\xBFhi\0", 6)};
    const QJsonValue json = toJson(file);
    EXPECT_EQ(json[u"data"_s].toString(), u"77u/aGkA"_s);
    EXPECT_EQ(decodeJson(json, JsonPath(), std::type_identity<LibraryTextFile>{}), file);

    EXPECT_FALSE(decodeJsonText<LibraryTextFile>(R"({"filename":"a.txt"})"));
    EXPECT_FALSE(decodeJsonText<LibraryTextFile>(R"({"data":"aGk="})"));
    // Decoding does not run the gate: a stored file is judged by whoever loads it.
    EXPECT_EQ(decodeJsonText<LibraryTextFile>(R"({"filename":"a.md","data":""})"),
              (LibraryTextFile{u"a.md"_s, QByteArray()}));
}

}  // namespace
}  // namespace tavrine
