#include "PelmoraMac/Capture/ClipboardConversion.h"

#include "CaptureTesting.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::failureOf;
using test::RealCaptureWorker;
using Span = ReadingDocument::Span;
using Kind = Span::Kind;
using Mode = ClipboardImportMode;

ReadingDocument textDocument(const QString& text) {
    return ReadingDocument{std::nullopt, text, {}};
}

const QByteArray kBoldRTF = R"({\rtf1\ansi {\b RTF} text\par})";
const QByteArray kPictureRTF = R"({\rtf1\ansi RTF {\pict\pngblip 89504e47}\par})";

// An HTML conversion that gives one fixed outcome and keeps the HTML it was given.
struct FakeHTMLConversion {
    CaptureResult<std::optional<ReadingDocument>> outcome = std::optional(textDocument(u"HTML"_s));
    QStringList seen{};

    ClipboardHTMLConverter converter() {
        return [this](const QString& html) {
            seen.append(html);
            return outcome;
        };
    }
};

CaptureResult<ReadingDocument> convert(const ClipboardSnapshot& snapshot, FakeHTMLConversion& html) {
    return convertClipboardSnapshot(snapshot, html.converter(), CancellationToken::none());
}

TEST(ClipboardHTMLDecoding, AByteOrderMarkMeansUTF16ElseUTF8) {
    EXPECT_EQ(decodeClipboardHTML(QByteArray("\xFF\xFE<\0p\0>\0B0", 10)), u"<p>あ"_s);
    EXPECT_EQ(decodeClipboardHTML(QByteArray("\xFE\xFF\0<\0p\0>0B", 10)), u"<p>あ"_s);
    EXPECT_EQ(decodeClipboardHTML(u"<p>あ"_s.toUtf8()), u"<p>あ"_s);
    EXPECT_EQ(decodeClipboardHTML("\xEF\xBB\xBF<p>"), u"<p>"_s);
    EXPECT_EQ(decodeClipboardHTML(QByteArray()), u""_s);
    // Without a mark, UTF-16 is not guessed: it is read as UTF-8, in which it is valid.
    EXPECT_EQ(decodeClipboardHTML(QByteArray("<\0p\0", 4)), QString::fromUtf8(QByteArray("<\0p\0", 4)));

    EXPECT_EQ(decodeClipboardHTML("<p>caf\xE9</p>"), std::nullopt);
    EXPECT_EQ(decodeClipboardHTML("<p>\xE3\x81</p>"), std::nullopt);
    EXPECT_EQ(decodeClipboardHTML(QByteArray("\xFF\xFE<\0p", 5)), std::nullopt);
}

TEST(ClipboardConversion, TakesTheFirstFormatThatGivesADocument) {
    FakeHTMLConversion html;
    const ClipboardSnapshot all{.html = u"<p>本文</p>"_s.toUtf8(), .rtf = kBoldRTF, .text = u"# Text"_s};
    EXPECT_EQ(convert(all, html), textDocument(u"HTML"_s));
    EXPECT_EQ(html.seen, QStringList{u"<p>本文</p>"_s});

    // No body: the RTF, else the text read as Markdown.
    html.outcome = std::optional<ReadingDocument>();
    EXPECT_EQ(convert(all, html).value().text, u"RTF text\n"_s);
    ClipboardSnapshot withoutRTF = all;
    withoutRTF.rtf.reset();
    const auto markdown = convert(withoutRTF, html);
    EXPECT_EQ(markdown.value().text, u"Text"_s);
    EXPECT_EQ(markdown.value().spans.first(), (Span{Kind::heading, 0, 4, 1}));

    // HTML that does not decode is not converted at all.
    html.seen.clear();
    html.outcome = std::optional(textDocument(u"HTML"_s));
    EXPECT_EQ(convert({.html = "<p>caf\xE9</p>", .rtf = kBoldRTF}, html).value().text, u"RTF text\n"_s);
    EXPECT_TRUE(html.seen.isEmpty());

    // RTF with a picture, or that is not RTF, or whose text is blank: the text.
    for (const QByteArray& rtf : {kPictureRTF, QByteArray("not RTF"), QByteArray(R"({\rtf1 \par\tab})")}) {
        EXPECT_EQ(convert({.rtf = rtf, .text = u"plain"_s}, html).value().text, u"plain"_s) << rtf.constData();
    }
}

TEST(ClipboardConversion, HTMLFailuresEndTheConversionOnlyWhenTooLarge) {
    FakeHTMLConversion html;
    const ClipboardSnapshot all{.html = "<p>x</p>", .rtf = kBoldRTF, .text = u"text"_s};

    html.outcome = tl::unexpected(CaptureFailure::tooLong);
    EXPECT_EQ(failureOf(convert(all, html)), CaptureFailure::tooLong);
    html.outcome = tl::unexpected(CaptureFailure::htmlTooLarge);
    EXPECT_EQ(failureOf(convert(all, html)), CaptureFailure::clipboardFormatTooLarge);
    html.outcome = std::optional(textDocument(QString(20'001, u'x')));
    EXPECT_EQ(failureOf(convert(all, html)), CaptureFailure::tooLong);

    // Every other failure of the script or of its document passes the HTML over.
    const ReadingDocument spanPastTheEnd{std::nullopt, u"abc"_s, {Span{Kind::strong, 2, 4, 0}}};
    for (const CaptureResult<std::optional<ReadingDocument>>& outcome :
         {CaptureResult<std::optional<ReadingDocument>>(tl::unexpected(CaptureFailure::extractionFailed)),
          CaptureResult<std::optional<ReadingDocument>>(tl::unexpected(CaptureFailure::timedOut)),
          CaptureResult<std::optional<ReadingDocument>>(std::optional(textDocument(u""_s))),
          CaptureResult<std::optional<ReadingDocument>>(std::optional(textDocument(u" \n"_s))),
          CaptureResult<std::optional<ReadingDocument>>(std::optional(spanPastTheEnd))}) {
        html.outcome = outcome;
        EXPECT_EQ(convert(all, html).value().text, u"RTF text\n"_s);
        // With nothing after it: formatted data that gave nothing.
        EXPECT_EQ(failureOf(convert({.html = "<p>x</p>"}, html)), CaptureFailure::clipboardUnreadable);
    }
}

TEST(ClipboardConversion, RTFTooLongEndsTheConversion) {
    FakeHTMLConversion html;
    html.outcome = std::optional<ReadingDocument>();
    const QByteArray longRTF = "{\\rtf1 " + QByteArray(20'001, 'a') + "}";
    EXPECT_EQ(failureOf(convert({.html = "<p></p>", .rtf = longRTF, .text = u"short"_s}, html)),
              CaptureFailure::tooLong);
    EXPECT_EQ(convert({.rtf = "{\\rtf1 " + QByteArray(20'000, 'a') + "}"}, html).value().text.size(), 20'000);
}

TEST(ClipboardConversion, TheTextIsCheckedThenReadAsMarkdown) {
    FakeHTMLConversion html;
    EXPECT_EQ(failureOf(convert({}, html)), CaptureFailure::clipboardNoText);
    EXPECT_EQ(failureOf(convert({.text = u""_s}, html)), CaptureFailure::clipboardNoText);
    EXPECT_EQ(failureOf(convert({.text = u" \n\t"_s}, html)), CaptureFailure::emptyText);
    EXPECT_EQ(failureOf(convert({.rtf = "not RTF"}, html)), CaptureFailure::clipboardUnreadable);
    // An empty string is a string: its own failure, formatted data or not.
    EXPECT_EQ(failureOf(convert({.rtf = "not RTF", .text = u""_s}, html)), CaptureFailure::clipboardNoText);
    // The Markdown reader's own failures.
    EXPECT_EQ(failureOf(convert({.text = QString(101, u'>') + u" deep"_s}, html)), CaptureFailure::markdownTooComplex);
    EXPECT_EQ(failureOf(convert({.text = u"<!-- only a comment -->"_s}, html)), CaptureFailure::emptyText);
    // A line end the text shows stays, between Japanese characters too.
    EXPECT_EQ(convert({.text = u"第一章\n吾輩は猫である。"_s}, html).value().text, u"第一章\n吾輩は猫である。"_s);
    // The snapshot's limits come first, whatever the formats would give.
    EXPECT_EQ(failureOf(convert({.html = "<p>x</p>", .text = QString(20'001, u'x')}, html)), CaptureFailure::tooLong);
    EXPECT_EQ(failureOf(convert({.rtf = QByteArray(2'000'001, ' '), .text = u"x"_s}, html)),
              CaptureFailure::clipboardFormatTooLarge);

    const CancellationToken cancelled;
    cancelled.cancel();
    EXPECT_EQ(failureOf(convertClipboardSnapshot({.text = u"# x"_s}, html.converter(), cancelled)),
              CaptureFailure::cancelled);
}

// A paragraph that a mail or a PDF viewer wrapped at a fixed width reads whole in automatic mode; a heading
// stays its line. In plain-text mode the text is taken as it is, its wraps too.
TEST(ClipboardConversion, AParagraphItsSourceWrappedReadsWhole) {
    FakeHTMLConversion html;
    const QString wrapped =
        u"第一章\n吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつか\n"
        u"ぬ。何でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記\n憶している。"_s;
    EXPECT_EQ(convert({.text = wrapped}, html).value().text,
              u"第一章\n吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所で"
              u"ニャーニャー泣いていた事だけは記憶している。"_s);
    EXPECT_EQ(convert({.mode = Mode::plainText, .text = wrapped}, html).value().text, wrapped);

    // A few lines selected from the middle of a paragraph, its first line and its last a piece of one.
    const QString selected =
        u"人間というものを見た。しかもあ\nとで聞くとそれは書生という人間中で一番獰悪な種族\n"
        u"であったそうだ。この書生というのは時々我々を捕え\nて煮て食うという話である。"_s;
    EXPECT_EQ(convert({.text = selected}, html).value().text, QString(selected).remove(u'\n'));
}

TEST(ClipboardConversion, PlainTextModeTakesTheTextAsItIs) {
    FakeHTMLConversion html;
    const auto document =
        convert({.mode = Mode::plainText, .html = "<p>x</p>", .rtf = kBoldRTF, .text = u"# 見出し\n*本文*"_s}, html);
    EXPECT_EQ(document, textDocument(u"# 見出し\n*本文*"_s));
    EXPECT_TRUE(html.seen.isEmpty());
    EXPECT_EQ(failureOf(convert({.mode = Mode::plainText, .rtf = kBoldRTF}, html)), CaptureFailure::clipboardNoText);
    EXPECT_EQ(failureOf(convert({.mode = Mode::plainText, .text = u"\u3000"_s}, html)), CaptureFailure::emptyText);
    EXPECT_EQ(failureOf(convert({.mode = Mode::plainText, .text = QString(20'001, u'x')}, html)),
              CaptureFailure::tooLong);
    // Formatted data is not read in this mode, so its size does not count.
    EXPECT_TRUE(convert({.mode = Mode::plainText, .html = QByteArray(2'000'001, ' '), .text = u"x"_s}, html));
}

// The worker's clipboard operation, through the real executable.
class ClipboardWorker : public RealCaptureWorker {
protected:
    CaptureWorkerResponse answerTo(const ClipboardSnapshot& snapshot) {
        return RealCaptureWorker::answerTo(
            CaptureWorkerRequest{.operation = CaptureWorkerRequest::Operation::clipboard, .clipboard = snapshot});
    }
};

TEST_F(ClipboardWorker, ConvertsEachSnapshotOrAnswersItsFailure) {
    // RTF whose first paragraph is bold, then a nested list.
    const auto rich = answerTo(ClipboardSnapshot{
        .rtf = R"({\rtf1\ansi {\b Bold} first\par\pard\ls1\ilvl0 Outer\par\pard\ls1\ilvl1 Inner\par})",
        .text = u"plain"_s});
    ASSERT_TRUE(rich.document) << (rich.failure ? rawValue(*rich.failure).toStdString() : "");
    EXPECT_EQ(rich.document->text, u"Bold first\nOuter\nInner\n"_s);
    EXPECT_EQ(rich.document->spans, (QList<Span>{{Kind::strong, 0, 4, 0},
                                                 {Kind::paragraph, 0, 11, 0},
                                                 {Kind::paragraph, 11, 17, 0},
                                                 {Kind::listItem, 11, 17, 1},
                                                 {Kind::paragraph, 17, 23, 0},
                                                 {Kind::listItem, 17, 23, 2}}));

    // RTF with a picture: the string, read as Markdown.
    const auto picture = answerTo(ClipboardSnapshot{.rtf = kPictureRTF, .text = u"**太字**"_s});
    ASSERT_TRUE(picture.document);
    EXPECT_EQ(picture.document->text, u"太字"_s);
    EXPECT_EQ(picture.document->spans.first(), (Span{Kind::strong, 0, 2, 0}));

    // HTML that is not UTF-8 is passed over; HTML alone that gives nothing is unreadable.
    const auto notUTF8 = answerTo(ClipboardSnapshot{.html = "<p>caf\xE9</p>", .text = u"café"_s});
    ASSERT_TRUE(notUTF8.document);
    EXPECT_EQ(notUTF8.document->text, u"café"_s);
    EXPECT_EQ(answerTo(ClipboardSnapshot{.html = "<p>caf\xE9</p>"}).failure, CaptureFailure::clipboardUnreadable);

    // RTF of 20,001 units with a short string; formatted data over the limit.
    EXPECT_EQ(answerTo(ClipboardSnapshot{.rtf = "{\\rtf1 " + QByteArray(20'001, 'a') + "}", .text = u"x"_s}).failure,
              CaptureFailure::tooLong);
    EXPECT_EQ(answerTo(ClipboardSnapshot{.html = QByteArray(2'000'001, ' '), .text = u"x"_s}).failure,
              CaptureFailure::clipboardFormatTooLarge);

    // A Markdown heading: the text as it is in plain-text mode, a heading in automatic mode.
    const QString heading = u"# 見出し"_s;
    EXPECT_EQ(answerTo(ClipboardSnapshot{.mode = Mode::plainText, .text = heading}).document, textDocument(heading));
    const auto markdown = answerTo(ClipboardSnapshot{.text = heading});
    ASSERT_TRUE(markdown.document);
    EXPECT_EQ(markdown.document->text, u"見出し"_s);
    EXPECT_EQ(markdown.document->spans.first(), (Span{Kind::heading, 0, 3, 1}));

    EXPECT_EQ(answerTo(ClipboardSnapshot{.text = u""_s}).failure, CaptureFailure::clipboardNoText);
    EXPECT_EQ(answerTo(ClipboardSnapshot{.text = u"  \n"_s}).failure, CaptureFailure::emptyText);
}

TEST_F(ClipboardWorker, TakesTheHTMLThroughTheCaptureExtractor) {
    const QString paragraph = u"<p>山路を<b>登り</b>ながら</p>"_s;
    QByteArray utf16LE("\xFF\xFE");
    for (const QChar c : paragraph) utf16LE.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    for (const QByteArray& html : {paragraph.toUtf8(), utf16LE}) {
        const auto answer = answerTo(ClipboardSnapshot{.html = html, .rtf = kBoldRTF, .text = u"text"_s});
        ASSERT_TRUE(answer.document) << (answer.failure ? rawValue(*answer.failure).toStdString() : "");
        EXPECT_EQ(answer.document->text, u"山路を登りながら\n"_s);
        EXPECT_TRUE(answer.document->spans.contains(Span{Kind::strong, 3, 5, 0}));
    }

    // HTML without a body to read: the RTF, else the text read as Markdown.
    const QByteArray empty = "<html><body><img src=\"picture.png\"><p> </p></body></html>";
    EXPECT_EQ(answerTo(ClipboardSnapshot{.html = empty, .rtf = kBoldRTF, .text = u"text"_s})
                  .document.value_or(ReadingDocument{})
                  .text,
              u"RTF text\n"_s);
    const auto markdown = answerTo(ClipboardSnapshot{.html = empty, .text = u"## 小見出し"_s});
    ASSERT_TRUE(markdown.document);
    EXPECT_EQ(markdown.document->spans.first(), (Span{Kind::heading, 0, 4, 2}));
    EXPECT_EQ(answerTo(ClipboardSnapshot{.html = empty}).failure, CaptureFailure::clipboardUnreadable);

    // A list whose items hold nothing to read is blank: the markers the conversion writes are no text. A list
    // with something in it keeps its markers.
    for (const QByteArray& blank : {QByteArray("<ul><li>&#8203;</li><li>&#8203;</li></ul><ol><li>&nbsp;</li></ol>"),
                                    QByteArray("<ol><li>&nbsp;</li><li></li></ol>")}) {
        EXPECT_EQ(answerTo(ClipboardSnapshot{.html = blank, .text = u"\u200B"_s}).failure, CaptureFailure::emptyText)
            << blank.toStdString();
    }
    EXPECT_EQ(answerTo(ClipboardSnapshot{.text = u"- \u200B\n- \u00A0"_s}).failure, CaptureFailure::emptyText);
    const auto list = answerTo(ClipboardSnapshot{.html = "<ol><li>一</li><li>&nbsp;</li></ol>", .text = u"一"_s});
    ASSERT_TRUE(list.document);
    EXPECT_TRUE(list.document->text.startsWith(u"1. 一\n"_s)) << list.document->text.toStdString();
}

TEST_F(ClipboardWorker, AnswersHostileRTF) {
    // Every answer comes from a worker that exited with status 0.
    EXPECT_EQ(answerTo(ClipboardSnapshot{.rtf = "{\\rtf1 " + QByteArray(100'000, '{')}).failure,
              CaptureFailure::clipboardUnreadable);
    EXPECT_EQ(
        answerTo(ClipboardSnapshot{.rtf = R"({\rtf1 A\bin999999999 xyz})"}).document.value_or(ReadingDocument{}).text,
        u"A"_s);
    EXPECT_EQ(answerTo(ClipboardSnapshot{.rtf = "{\\rtf1 " + QByteArray(1'999'992, 'a') + "}"}).failure,
              CaptureFailure::tooLong);
    // One paragraph of formatting alone, with no text: nothing to read.
    EXPECT_EQ(answerTo(ClipboardSnapshot{.rtf = "{\\rtf1 " + QByteArray("\\b\\i0").repeated(399'998) + "}"}).failure,
              CaptureFailure::clipboardUnreadable);
    EXPECT_EQ(answerTo(ClipboardSnapshot{.rtf = "{\\rtf1\\ansi caf\\'8"}).document.value_or(ReadingDocument{}).text,
              u"caf"_s);
}

}  // namespace
}  // namespace tavrine
