#include "ClipboardBenchInputs.h"

#include <unicode/ucnv.h>

#include <memory>

namespace tavrine::bench {
using namespace Qt::StringLiterals;
namespace {

// The text stays below the conversion's limit of 20,000 units, markers and line ends included.
constexpr qsizetype kTextUnits = 17'000;

// The characters of `japanese` in order, without line breaks, over and over.
class CharacterSource {
public:
    explicit CharacterSource(const QString& japanese) : m_text(japanese) {
        m_text.remove(u'\n');
        m_text.remove(u'\r');
        if (m_text.isEmpty()) m_text = u"山路を登りながら、こう考えた。智に働けば角が立つ。"_s;
    }
    QString take(qsizetype count) {
        QString piece;
        while (piece.size() < count) {
            if (m_position >= m_text.size()) m_position = 0;
            const QChar c = m_text.at(m_position++);
            // Keep to whole characters of the basic plane: a run never ends inside a pair.
            if (!c.isSurrogate()) piece.append(c);
        }
        return piece;
    }

private:
    QString m_text;
    qsizetype m_position = 0;
};

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};

QByteArray shiftJIS(const QString& text) {
    static const std::unique_ptr<UConverter, ConverterCloser> converter([] {
        UErrorCode status = U_ZERO_ERROR;
        return ucnv_open("windows-31j", &status);
    }());
    QByteArray bytes(text.size() * 2 + 2, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucnv_fromUChars(converter.get(), bytes.data(), int32_t(bytes.size()),
                                           reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()), &status);
    bytes.truncate(U_SUCCESS(status) ? length : 0);
    return bytes;
}

QByteArray hexEscapes(const QByteArray& bytes) {
    QByteArray escaped;
    for (const char byte : bytes) escaped += "\\'" + QByteArray::number(uchar(byte), 16).rightJustified(2, '0');
    return escaped;
}

// As Word writes a character with \uc2: the unit, then its two Shift_JIS bytes as fallback.
QByteArray unicodeEscapes(const QString& text) {
    QByteArray escaped;
    for (const QChar c : text) {
        escaped += "\\u" + QByteArray::number(qint16(c.unicode())) +
                   hexEscapes(shiftJIS(QString(c)).leftJustified(2, '?')).left(8);
    }
    return escaped;
}

const QByteArray kRTFHeader =
    R"({\rtf1\adeflang1025\ansi\ansicpg932\uc2\adeff0\deff0\stshfdbch31505\stshfloch31506\stshfhich31506\stshfbi0)"
    R"(\deflang1033\deflangfe1041\themelang1033\themelangfe1041{\fonttbl{\f0\fbidi \froman\fcharset0\fprq2)"
    R"({\*\panose 02020603050405020304}Times New Roman;}{\f1\fbidi \fmodern\fcharset128\fprq1)"
    R"({\*\panose 02020609040205080304}\'82\'6c\'82\'72 \'96\'be\'92\'a9{\*\falt MS Mincho};})"
    R"({\f2\fswiss\fcharset128\fprq2{\*\panose 020b0400000000000000}\'97\'43\'83\'53\'83\'56\'83\'62\'83\'4e)"
    R"({\*\falt Yu Gothic};}{\f3\fmodern\fcharset0\fprq1{\*\panose 02070309020205020404}Courier New;}})"
    "\r\n"
    R"({\colortbl;\red0\green0\blue0;\red0\green0\blue255;\red5\green99\blue193;})"
    "\r\n"
    R"({\stylesheet{\ql \li0\ri0\widctlpar\wrapdefault\aspalpha\aspnum\faauto\adjustright\rin0\lin0\itap0 \rtlch\fcs1)"
    R"( \af0\afs22\alang1025 \ltrch\fcs0 \fs21\lang1033\langfe1041\kerning2\loch\f31506\hich\af31506\dbch\af31505)"
    R"(\cgrid\langnp1033\langfenp1041 \snext0 \sqformat \spriority0 Normal;}{\s1\ql \li0\ri0\keepn\widctlpar)"
    R"(\outlinelevel0\rin0\lin0\itap0 \rtlch\fcs1 \af31503\afs24\alang1025 \ltrch\fcs0 \fs24\lang1033\langfe1041)"
    R"( \sbasedon0 \snext0 \slink15 \sqformat \spriority9 heading 1;}})"
    "\r\n"
    R"({\*\listtable{\list\listtemplateid-1\listhybrid{\listlevel\levelnfc23\levelnfcn23\leveljc0\leveljcn0)"
    R"(\levelfollow0\levelstartat1\levelspace0\levelindent0{\leveltext\leveltemplateid67698689\'01\u-3913 ?;})"
    R"({\levelnumbers;}\f10\fbias0 \fi-420\li420\lin420 }{\listname ;}\listid1}})"
    R"({\*\listoverridetable{\listoverride\listid1\listoverridecount0\ls1}})"
    R"({\info{\title \'91\'90\'96\'8f}{\author Writer}{\operator Writer}})"
    "\r\n";

const QByteArray kParagraphFormat =
    R"(\pard\plain \ltrpar\s0\ql \li0\ri0\sa160\sl259\slmult1\widctlpar\wrapdefault\aspalpha\aspnum\faauto)"
    R"(\adjustright\rin0\lin0\itap0 \rtlch\fcs1 \af0\afs22\alang1025 \ltrch\fcs0 \f2\fs21\lang1033\langfe1041)"
    R"(\kerning2\loch\af2\hich\af2\dbch\af2\cgrid\langnp1033\langfenp1041 )";
const QByteArray kRunFormat =
    R"({\rtlch\fcs1 \af0 \ltrch\fcs0 \f2\fs21\lang1033\langfe1041\loch\af2\hich\af2\dbch\af2\insrsid12345678)"
    R"(\charrsid7654321 )";

const QByteArray kHTMLHead =
    "<html xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:schemas-microsoft-com:office:office\">\r\n"
    "<head><meta http-equiv=Content-Type content=\"text/html; charset=utf-8\"><meta name=Generator "
    "content=\"Word\"><style><!--\r\n"
    "p.MsoNormal, li.MsoNormal {margin:0mm; text-align:justify; font-size:10.5pt; font-family:\"游明朝\",serif;}\r\n"
    "h1 {mso-style-priority:9; mso-style-link:\"見出し 1 (文字)\"; margin:0mm; font-size:12.0pt;}\r\n";
const QByteArray kSpanOpen =
    "<span lang=JA style='font-family:\"游明朝\",serif;mso-ascii-font-family:\"Times New Roman\";"
    "mso-hansi-font-family:\"Times New Roman\";mso-fareast-language:JA;mso-bidi-font-family:\"Times New Roman\"'>";

}  // namespace

QByteArray wordProcessorRTF(const QString& japanese, qsizetype bytes) {
    CharacterSource source(japanese);
    QByteArray body;
    qsizetype units = 0;
    for (int paragraph = 0; units < kTextUnits; ++paragraph) {
        body += kParagraphFormat;
        if (paragraph % 12 == 0) {
            body += "\\s1\\outlinelevel0\\keepn\\b ";
        } else if (paragraph % 5 == 1) {
            body += "\\ls1\\ilvl" + QByteArray::number(paragraph % 2) + " {\\listtext\\pard\\plain \\'81\\'45\\tab}";
            units += 2;
        }
        const int runs = paragraph % 12 == 0 ? 4 : 40;
        for (int run = 0; run < runs; ++run) {
            const QString text = source.take(3);
            body += kRunFormat;
            if (run % 7 == 3) body += "\\b ";
            if (run % 11 == 5) body += "\\i ";
            if (run % 13 == 8) body += "\\f3 ";
            body += run % 2 == 0 ? hexEscapes(shiftJIS(text)) : unicodeEscapes(text);
            body += "}";
            units += text.size();
        }
        body += "\\par\r\n";
        units += 1;
    }
    const QByteArray themeOpen = "{\\*\\themedata ";
    const QByteArray end = "}";
    QByteArray rtf = kRTFHeader + themeOpen;
    const qsizetype filler = bytes - rtf.size() - 1 - body.size() - end.size();
    QByteArray theme;
    theme.reserve(filler);
    while (theme.size() < filler) {
        theme += (theme.size() % 130 == 128) ? QByteArray("\r\n") : QByteArray("504b0304140006000800").left(2);
    }
    theme.truncate(std::max<qsizetype>(filler, 0));
    rtf += theme + "}" + body + end;
    return rtf;
}

QByteArray wordProcessorHTML(const QString& japanese, qsizetype bytes) {
    CharacterSource source(japanese);
    QByteArray body =
        "</style></head>\r\n<body lang=EN-US style='tab-interval:42.0pt;word-wrap:break-word'>\r\n"
        "<div class=WordSection1>\r\n";
    qsizetype units = 0;
    for (int paragraph = 0; units < kTextUnits; ++paragraph) {
        const bool heading = paragraph % 12 == 0;
        const bool item = paragraph % 5 == 1;
        if (item) body += "<ul style='margin-top:0mm' type=disc>";
        body += heading ? "<h1>"
                : item  ? "<li class=MsoNormal style='mso-list:l0 level1 lfo1'>"
                        : "<p class=MsoNormal style='mso-pagination:none'>";
        const int runs = heading ? 4 : 40;
        for (int run = 0; run < runs; ++run) {
            const QString text = source.take(3);
            const bool bold = run % 7 == 3;
            if (bold) body += "<b>";
            body += kSpanOpen + text.toHtmlEscaped().toUtf8() + "</span>";
            if (bold) body += "</b>";
            units += text.size();
        }
        body += heading ? "</h1>\r\n" : item ? "</li></ul>\r\n" : "<o:p></o:p></p>\r\n";
        units += 1;
    }
    body += "</div>\r\n</body>\r\n</html>\r\n";
    // Style rules fill the rest, as in a document with many styles, then an ASCII comment to the byte.
    QByteArray styles;
    for (int rule = 0; kHTMLHead.size() + styles.size() + body.size() + 200 < bytes; ++rule) {
        styles += "span.style" + QByteArray::number(rule) +
                  " {mso-style-name:\"本文\"; mso-style-unhide:no; font-family:\"游明朝\",serif;}\r\n";
    }
    const qsizetype rest = bytes - kHTMLHead.size() - styles.size() - body.size();
    styles += "/*" + QByteArray(std::max<qsizetype>(rest - 4, 0), '-') + "*/";
    QByteArray html = kHTMLHead + styles + body;
    return html;
}

}  // namespace tavrine::bench
