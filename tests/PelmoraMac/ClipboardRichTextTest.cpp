#include "PelmoraMac/Capture/ClipboardConversion.h"

#include "CaptureTesting.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::failureOf;
using test::spansOf;
using Span = ReadingDocument::Span;
using Kind = Span::Kind;

Span span(Kind kind, qsizetype start, qsizetype end, qint64 level = 0) {
    return Span{kind, start, end, level};
}
std::optional<CaptureFailure> failureFor(const QByteArray& rtf) {
    return failureOf(convertClipboardRichText(rtf));
}

// The document of RTF data, or a failed test.
ReadingDocument read(const QByteArray& rtf) {
    auto document = convertClipboardRichText(rtf);
    if (!document) {
        ADD_FAILURE() << "not read: " << rawValue(document.error()).toStdString() << " for "
                      << rtf.left(200).constData();
        return {};
    }
    EXPECT_TRUE(document->isValid());
    return *document;
}
QString textOf(const QByteArray& rtf) {
    return read(rtf).text;
}

QByteArray sharedRTF(const QString& name) {
    QFile file(test::sharedDataFile(u"rtf/"_s + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(ClipboardRichText, WordsAndSymbolsGiveTheirCharacters) {
    EXPECT_EQ(textOf(R"({\rtf1\ansi A\par B\line C\tab D\~E\_F\-G\par})"), u"A\nB\nC\tD\u00A0E\u2011FG\n"_s);
    EXPECT_EQ(textOf(R"({\rtf1 \bullet\endash\emdash\lquote\rquote\ldblquote\rdblquote\{\}\\ x})"), u"•–—‘’“”{}\\ x"_s);
    // The data's own line breaks are not text; a backslash before one is a paragraph (as the macOS
    // writer ends its paragraphs); a tab character is text.
    EXPECT_EQ(textOf("{\\rtf1 one\r\ntwo\\\nthree\\\r\n\tfour}"), u"onetwo\nthree\n\tfour"_s);
    // One space after a control word is its delimiter, a second one is text.
    EXPECT_EQ(textOf(R"({\rtf1\b  bold\b0 plain})"), u" boldplain"_s);
    // Cells end their line once: a paragraph mark before \cell ends it already.
    EXPECT_EQ(textOf(R"({\rtf1 a\cell b\cell\row {\pard\intbl c\par}\cell{\cell}d\page e\sect})"),
              u"a\nb\nc\nd\ne\n"_s);
}

// A line of no-break spaces, tabs or ideographic spaces shows nothing and reads as an empty line: its
// characters and the runs over them go; a cell of them adds no line.
TEST(ClipboardRichText, LinesOfOnlyWhiteSpaceBecomeEmpty) {
    const ReadingDocument document =
        read(R"({\rtf1\ansi A\par\~\~\par {\b \tab\u12288?}\line\u8199?\u8239?\par B\~\par a\cell\~\cell b\cell\~})");
    EXPECT_EQ(document.text, u"A\n\n\n\nB\u00A0\na\nb\n"_s);
    EXPECT_TRUE(spansOf(document, Kind::strong).isEmpty());
    // A bold run that goes on into the spaces keeps its visible part.
    const ReadingDocument bold = read(R"({\rtf1 {\b x\line\~}\par})");
    EXPECT_EQ(bold.text, u"x\n\n"_s);
    EXPECT_EQ(spansOf(bold, Kind::strong), QList<Span>{span(Kind::strong, 0, 2)});
    // Nothing but such lines: nothing to read.
    EXPECT_EQ(failureOf(convertClipboardSnapshot({.rtf = R"({\rtf1 \~\par\tab})", .text = std::nullopt})),
              CaptureFailure::clipboardUnreadable);
}

TEST(ClipboardRichText, RunSpansComeFirstThenEachParagraphsSpans) {
    const ReadingDocument bold = read(R"({\rtf1\ansi {\b Bold} text\par Plain\par})");
    EXPECT_EQ(bold.text, u"Bold text\nPlain\n"_s);
    EXPECT_EQ(bold.spans,
              (QList<Span>{span(Kind::strong, 0, 4), span(Kind::paragraph, 0, 10), span(Kind::paragraph, 10, 16)}));

    // A run is a stretch of the same traits: bold, bold italic, italic; \plain ends them all.
    const ReadingDocument mixed = read(R"({\rtf1 a\b b\i c\b0 d\plain e})");
    EXPECT_EQ(mixed.spans, (QList<Span>{span(Kind::strong, 1, 2), span(Kind::strong, 2, 3), span(Kind::emphasis, 2, 3),
                                        span(Kind::emphasis, 3, 4), span(Kind::paragraph, 0, 5)}));

    // Italic and oblique: two emphasis spans over the one run; an obliqueness of 0 is no slant.
    const ReadingDocument slanted = read(R"({\rtf1 {\i\obliqueness200 slanted} {\obliqueness0 upright}})");
    EXPECT_EQ(slanted.spans,
              (QList<Span>{span(Kind::emphasis, 0, 7), span(Kind::emphasis, 0, 7), span(Kind::paragraph, 0, 15)}));
    EXPECT_EQ(read(R"({\rtf1 {\obliqueness-150 back}})").spans,
              (QList<Span>{span(Kind::emphasis, 0, 4), span(Kind::paragraph, 0, 4)}));

    // Groups restore the formatting around them.
    EXPECT_EQ(spansOf(read(R"({\rtf1 \b a{\b0 b{\b c}d}e})"), Kind::strong),
              (QList<Span>{span(Kind::strong, 0, 1), span(Kind::strong, 2, 3), span(Kind::strong, 4, 5)}));
}

TEST(ClipboardRichText, MonospaceFontsMakeCodeSpans) {
    // Each font is used for one letter, separated by Helvetica's dashes: b c d e g h j are monospace.
    const QByteArray rtf = R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Helvetica;}{\f1\fmodern Foo;}{\f2\fnil\fprq1 Bar;})"
                           R"({\f3\fswiss Menlo-Regular;}{\f4\fnil DejaVu Sans Mono;}{\f5\fnil Monotype Corsiva;})"
                           R"({\f6\fnil\fcharset128 \'82\'6c\'82\'72 \'83\'53\'83\'56\'83\'62\'83\'4e;})"
                           R"({\f7\fnil\fprq2 Consolas;}{\f8\fnil MS PGothic;}{\f9\fnil MS Gothic;})"
                           R"({\f10\froman{\*\panose 02020603050405020304}Courier New{\*\falt Courier};}})"
                           R"(a\f1 b\f0 -\f2 c\f0 -\f3 d\f0 -\f4 e\f0 -\f5 f\f0 -\f6 g\f0 -\f7 h\f0 -\f8 i\f0 -)"
                           R"(\f9 j\f0 -\f10 k\plain l})";
    const ReadingDocument document = read(rtf);
    EXPECT_EQ(document.text, u"ab-c-d-e-f-g-h-i-j-kl"_s);
    QList<QChar> monospace;
    for (const auto& code : spansOf(document, Kind::code)) {
        EXPECT_EQ(code.end, code.start + 1);
        monospace.append(document.text.at(code.start));
    }
    EXPECT_EQ(monospace, (QList<QChar>{u'b', u'c', u'd', u'e', u'g', u'h', u'j', u'k'}));
}

TEST(ClipboardRichText, HeaderLevelsComeFromOutlineLevels) {
    const ReadingDocument document = read(R"({\rtf1 {\pard\outlinelevel1 Title\par}{\pard Body\par}})");
    EXPECT_EQ(document.text, u"Title\nBody\n"_s);
    EXPECT_EQ(document.spans,
              (QList<Span>{span(Kind::paragraph, 0, 6), span(Kind::heading, 0, 6, 2), span(Kind::paragraph, 6, 11)}));

    // Levels 0 to 5 are headings 1 to 6; 6 and beyond (9 is body text) are none.
    for (int level = 0; level <= 9; ++level) {
        const auto headings =
            spansOf(read("{\\rtf1\\outlinelevel" + QByteArray::number(level) + " Heading\\par}"), Kind::heading);
        EXPECT_EQ(headings, level <= 5 ? QList<Span>{span(Kind::heading, 0, 8, level + 1)} : QList<Span>{})
            << "outline level " << level;
    }

    // The formatting in effect at the paragraph mark is the paragraph's, over every line \line
    // makes in it; \pard ends it. The last paragraph, without a mark, keeps that of its text.
    const ReadingDocument lines =
        read(R"({\rtf1 One\outlinelevel0 \line Two\par\pard Three\par{\outlinelevel2 Four}})");
    EXPECT_EQ(lines.text, u"One\nTwo\nThree\nFour"_s);
    EXPECT_EQ(spansOf(lines, Kind::heading), (QList<Span>{span(Kind::heading, 0, 4, 1), span(Kind::heading, 4, 8, 1),
                                                          span(Kind::heading, 14, 18, 3)}));
}

TEST(ClipboardRichText, ListParagraphsGiveTheirDepth) {
    // As the macOS writer puts a nested list: the marker text stays.
    const ReadingDocument list = read(
        R"({\rtf1\ansi\ansicpg1252{\*\listtable{\list\listtemplateid1{\listlevel\levelnfc23{\leveltext \'01\uc0\u8226 ;}}}})"
        R"(\pard\ls1\ilvl0 {\listtext \'95 }Outer\
\pard\ls1\ilvl1 {\listtext \'95 }Inner\
\pard After})");
    EXPECT_EQ(list.text, u"• Outer\n• Inner\nAfter"_s);
    EXPECT_EQ(list.spans,
              (QList<Span>{span(Kind::paragraph, 0, 8), span(Kind::listItem, 0, 8, 1), span(Kind::paragraph, 8, 16),
                           span(Kind::listItem, 8, 16, 2), span(Kind::paragraph, 16, 21)}));

    // A level without a list is no list item; the depth stops at 100.
    EXPECT_TRUE(spansOf(read(R"({\rtf1\ilvl3 x\par})"), Kind::listItem).isEmpty());
    EXPECT_EQ(spansOf(read(R"({\rtf1\ls1\ilvl999999 x\par})"), Kind::listItem),
              QList<Span>{span(Kind::listItem, 0, 2, 100)});
    // A heading in a list is both.
    EXPECT_EQ(read(R"({\rtf1\ls2\ilvl0\outlinelevel0 x\par})").spans,
              (QList<Span>{span(Kind::paragraph, 0, 2), span(Kind::heading, 0, 2, 1), span(Kind::listItem, 0, 2, 1)}));
}

TEST(ClipboardRichText, TablesAndDestinationsThatAreNotTextAreSkipped) {
    EXPECT_EQ(textOf(R"({\rtf1{\fonttbl{\f0 Times;}}{\colortbl;\red0\green0\blue0;}{\stylesheet{\s1 Heading 1;}})"
                     R"({\info{\title Title}{\author Someone}}{\*\generator Writer;}{\header Header}{\footer Footer})"
                     R"(A{\field{\*\fldinst HYPERLINK "https://example.org"}{\fldrslt link}}{\fldinst PAGE}B)"
                     R"({\*\unknown skipped {nested \par}}C{\footnote note}{\*\bkmkstart x}D})"),
              u"AlinkBCD"_s);
    // Hidden text is not read, its paragraph marks neither.
    EXPECT_EQ(textOf(R"({\rtf1 A{\v hidden\par}B\v C\v0 D})"), u"ABD"_s);
    // \* before a word the reader knows as text keeps the text.
    EXPECT_EQ(textOf(R"({\rtf1 {\*\fldrslt kept}{\*\b dropped}})"), u"kept"_s);
    // Text given twice, in the code page and in Unicode: read once, as the former.
    EXPECT_EQ(textOf(R"({\rtf1 {\upr{caf\'e9}{\*\ud{caf\u233?}}}})"), u"café"_s);
    // Binary data is skipped by its count, in text and in skipped destinations alike.
    EXPECT_EQ(textOf(R"({\rtf1 A\bin4 {}\}B{\*\blob \bin3 }}}C}D})"), u"ABD"_s);
    // Nothing after the group that opened first is read; the end of the data ends open groups.
    EXPECT_EQ(textOf(R"({\rtf1 A}B{\b C})"), u"A"_s);
    EXPECT_EQ(read(R"({\rtf1 {\b A)").spans, (QList<Span>{span(Kind::strong, 0, 1), span(Kind::paragraph, 0, 1)}));
}

TEST(ClipboardRichText, PicturesAndObjectsRefuseTheWholeText) {
    for (const QByteArray rtf : {
             R"({\rtf1 Text {\pict\pngblip 89504e47} more})",
             R"({\rtf1 Text {\*\shppict{\pict\pngblip 89504e47}}{\nonshppict{\pict\wmetafile8 0100}}})",
             R"({\rtf1 Text {\object\objemb{\*\objdata 0105}{\result caption}}})",
             "{\\rtf1 Text {{\\NeXTGraphic image.png \\width40 \\height40 \\noorient}\\'ac}}",
             R"({\rtf1 Text \u65532?})",
         }) {
        EXPECT_EQ(failureFor(rtf), CaptureFailure::clipboardUnreadable) << rtf.constData();
    }
    // In a hidden or skipped part, a picture is not in the text.
    EXPECT_EQ(textOf(R"({\rtf1 Text{\v{\pict 00}}{\*\comment{\pict 00}}})"), u"Text"_s);
}

TEST(ClipboardRichText, UnicodeEscapesSkipTheirFallback) {
    EXPECT_EQ(textOf(R"({\rtf1 \u12354?})"), u"あ"_s);
    EXPECT_EQ(textOf(R"({\rtf1 \u-10179?\u-8704?!})"), u"😀!"_s);
    // Fallback characters of \uc2 are two escapes; \uc0 has none; a group ends the fallback.
    EXPECT_EQ(textOf(R"({\rtf1\uc2\u12354\'82\'a0 x\uc0\u931 y\uc1\u12354{?}})"), u"あ xΣyあ?"_s);
    // A control word counts as one fallback character.
    EXPECT_EQ(textOf(R"({\rtf1 \u8226\bullet\tab x})"), u"•\tx"_s);
    // Halves of a pair in two runs make one run; unpaired halves become U+FFFD; a code point beyond
    // the basic plane, as some writers give it, is a pair.
    const ReadingDocument split = read(R"({\rtf1 {\b \u-10179?}\u-8704?})");
    EXPECT_EQ(split.text, u"😀"_s);
    EXPECT_EQ(spansOf(split, Kind::strong), QList<Span>{span(Kind::strong, 0, 2)});
    EXPECT_EQ(textOf(R"({\rtf1 \u-10179?A\u-8704?})"), u"\uFFFDA\uFFFD"_s);
    EXPECT_EQ(textOf(R"({\rtf1 \u128512?\u9999999?})"), u"😀\uFFFD"_s);
}

TEST(ClipboardRichText, EscapedBytesAreDecodedInTheirFontsCodePage) {
    EXPECT_EQ(textOf(R"({\rtf1\ansi\ansicpg932{\fonttbl{\f0\fnil\fcharset128 MS Mincho;}}\f0 \'82\'a0\'83\'5c})"),
              u"あソ"_s);
    // The document's code page: Windows-1252 by default, \ansicpg, \mac; a font's charset over it.
    EXPECT_EQ(textOf(R"({\rtf1 \'e9\'80})"), u"é€"_s);
    EXPECT_EQ(textOf(R"({\rtf1\ansi\ansicpg1251 \'c0})"), u"А"_s);
    EXPECT_EQ(textOf(R"({\rtf1\mac \'8e})"), u"é"_s);
    EXPECT_EQ(textOf(R"({\rtf1\ansi{\fonttbl{\f0\fcharset204 Arial;}{\f1\fcharset161 Arial;}}\f0 \'c0\f1 \'c1})"),
              u"АΑ"_s);
    // Bytes above 0x7F need no escape; a code page ICU lacks is read as Windows-1252.
    EXPECT_EQ(textOf("{\\rtf1\\ansi\\ansicpg1252 caf\xe9}"), u"café"_s);
    EXPECT_EQ(textOf(R"({\rtf1\ansi\ansicpg1361 \'e9})"), u"é"_s);
    // Bytes the code page leaves unmapped, in a single- and a double-byte code page: U+FFFD, never
    // the code page's control character U+001A.
    EXPECT_EQ(textOf(R"({\rtf1\ansi\ansicpg932 a\'a0b\'fd})"), u"a\uFFFDb\uFFFD"_s);
    EXPECT_EQ(textOf(R"({\rtf1\ansi\ansicpg1253 \'d2\'c1})"), u"\uFFFDΑ"_s);
    // A double-byte character cut by a control word, or by the end of the data.
    EXPECT_EQ(textOf(R"({\rtf1{\fonttbl{\f0\fcharset128 X;}}\f0 \'82\par\'82})"), u"\uFFFD\n\uFFFD"_s);
    EXPECT_EQ(textOf("{\\rtf1\\ansi caf\\'8"), u"caf"_s);
    EXPECT_EQ(textOf(R"({\rtf1 a\'zzb})"), u"azzb"_s);
}

TEST(ClipboardRichText, HostileStructureFailsOrStopsSafely) {
    auto nested = [](int depth) -> QByteArray {
        return "{\\rtf1 " + QByteArray(depth - 1, '{') + "deep" + QByteArray(depth, '}');
    };
    EXPECT_EQ(textOf(nested(1'000)), u"deep"_s);
    EXPECT_EQ(failureFor(nested(1'001)), CaptureFailure::clipboardUnreadable);
    EXPECT_EQ(failureFor("{\\rtf1 " + QByteArray(100'000, '{')), CaptureFailure::clipboardUnreadable);

    EXPECT_EQ(textOf(R"({\rtf1 \b1234567890 x\u-1234567890?y})"), u"x\uFFFDy"_s);
    EXPECT_EQ(failureFor(R"({\rtf1 \b12345678901 x})"), CaptureFailure::clipboardUnreadable);
    EXPECT_EQ(textOf(R"({\rtf1 A\bin999999999 B})"), u"A"_s);

    for (const QByteArray& notRTF :
         {QByteArray(R"({\rt)"), QByteArray(R"( {\rtf1 x})"), QByteArray("\xEF\xBB\xBF{\\rtf1 x}"), QByteArray()}) {
        EXPECT_EQ(failureFor(notRTF), CaptureFailure::clipboardUnreadable) << notRTF.constData();
    }
    EXPECT_EQ(textOf(R"({\rtf)"), QString());
}

TEST(ClipboardRichText, ReadingStopsPastTwentyThousandUnits) {
    const QByteArray atLimit = "{\\rtf1 " + QByteArray(19'999, 'a') + "\\u12354?}";
    EXPECT_EQ(textOf(atLimit).size(), 20'000);
    EXPECT_EQ(failureFor("{\\rtf1 " + QByteArray(20'001, 'a') + "}"), CaptureFailure::tooLong);
    // Too long comes first: also with a picture after the limit or before it, or with broken
    // structure after it.
    EXPECT_EQ(failureFor("{\\rtf1 " + QByteArray(20'001, 'a') + "{\\pict 00}}"), CaptureFailure::tooLong);
    EXPECT_EQ(failureFor("{\\rtf1 {\\pict 00}" + QByteArray(20'000, 'a') + "}"), CaptureFailure::tooLong);
    EXPECT_EQ(failureFor("{\\rtf1 " + QByteArray(20'001, 'a') + QByteArray(2'000, '{')), CaptureFailure::tooLong);
    // Escaped bytes count as they decode.
    EXPECT_EQ(failureFor("{\\rtf1 " + QByteArray("\\'e9").repeated(20'001) + "}"), CaptureFailure::tooLong);
    EXPECT_EQ(textOf("{\\rtf1 " + QByteArray("\\'e9").repeated(20'000) + "}").size(), 20'000);
}

TEST(ClipboardRichText, RealDocumentsOfOtherWriters) {
    const QString changes = test::sharedDataFile(u"rtf/lynkeos-changelog-fr.rtf"_s);
    TAVRINE_SKIP_WITHOUT(changes, "rtf/lynkeos-changelog-fr.rtf");

    // The macOS writer, code page 1252.
    const ReadingDocument french = read(sharedRTF(u"lynkeos-changelog-fr.rtf"_s));
    EXPECT_TRUE(french.text.startsWith(u"10 Juin 2022: Livraison V3.5\n•\tSupport du mot clef FITS ROWORDER"_s));
    EXPECT_TRUE(french.text.contains(u"avec pré-normalisation, utile"_s));
    EXPECT_TRUE(french.text.contains(u"avec réjection Σ sans image à accumuler\n"_s));
    EXPECT_EQ(spansOf(french, Kind::paragraph).first(), span(Kind::paragraph, 0, 29));

    // The older macOS writer, Mac Roman, its comment in Monaco.
    const ReadingDocument stk = read(sharedRTF(u"sc3-stk-instructions.rtf"_s));
    EXPECT_TRUE(stk.text.startsWith(u"/*\nThis package contains a number of ports of the\n"_s));
    const Span comment = spansOf(stk, Kind::code).first();
    EXPECT_EQ(comment.start, 0);
    EXPECT_TRUE(stk.text.first(comment.end).endsWith(u"using the Clarinet model\n*/\n"_s));

    // A document converter's manual holds more than 20,000 units.
    EXPECT_EQ(failureFor(sharedRTF(u"muttprint-manual-de.rtf"_s)), CaptureFailure::tooLong);

    // pandoc from HTML: Japanese as \u escapes, headings by outline level, code in Courier, no-break
    // spaces as \u160.
    const ReadingDocument japanese = read(sharedRTF(u"debmake-doc-ch02-ja-pandoc.rtf"_s));
    EXPECT_TRUE(japanese.text.contains(u"\n2.3.\u00A0Debianにおける社会ダイナミクス\n"_s));
    QStringList headings;
    for (const auto& heading : spansOf(japanese, Kind::heading)) {
        headings.append(u"%1 %2"_s.arg(heading.level)
                            .arg(japanese.text.sliced(heading.start, heading.end - heading.start).trimmed()));
    }
    EXPECT_EQ(headings.mid(0, 3),
              (QStringList{u"1 Chapter\u00A02.\u00A0Prerequisites"_s, u"2 2.1.\u00A0People around Debian"_s,
                           u"2 2.2.\u00A0How to contribute"_s}));
    EXPECT_EQ(headings.size(), 10);
    const Span code = spansOf(japanese, Kind::code).first();
    EXPECT_TRUE(japanese.text.sliced(code.start).startsWith(u"if exist_in_debian(program):"_s));
}

// What pandoc writes from Markdown: a heading line, and bold, italic and code words in a paragraph.
TEST(ClipboardRichText, PandocsRichText) {
    const QString pandoc = QStandardPaths::findExecutable(u"pandoc"_s);
    if (pandoc.isEmpty()) GTEST_SKIP() << "pandoc is not installed (scripts/install-deps installs it)";
    QProcess process;
    process.start(pandoc, {u"-f"_s, u"markdown"_s, u"-t"_s, u"rtf"_s, u"-s"_s});
    process.write(u"# 草枕の見出し\n\n山路を**登り**ながら、*こう*考えた。`code` です。\n"_s.toUtf8());
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(20'000));
    ASSERT_EQ(process.exitCode(), 0);

    const ReadingDocument document = read(process.readAllStandardOutput());
    const QString heading = u"草枕の見出し\n"_s;
    EXPECT_EQ(document.text, heading + u"山路を登りながら、こう考えた。code です。\n"_s);
    auto over = [&](const QString& words) {
        const qsizetype start = document.text.indexOf(words);
        return std::pair{start, start + words.size()};
    };
    const auto [boldStart, boldEnd] = over(u"登り"_s);
    const auto [italicStart, italicEnd] = over(u"こう"_s);
    const auto [codeStart, codeEnd] = over(u"code"_s);
    const qsizetype end = document.text.size();
    // pandoc sets the heading in bold as well.
    EXPECT_EQ(document.spans,
              (QList<Span>{span(Kind::strong, 0, heading.size()), span(Kind::strong, boldStart, boldEnd),
                           span(Kind::emphasis, italicStart, italicEnd), span(Kind::code, codeStart, codeEnd),
                           span(Kind::paragraph, 0, heading.size()), span(Kind::heading, 0, heading.size(), 1),
                           span(Kind::paragraph, heading.size(), end)}));
}

}  // namespace
}  // namespace tavrine
