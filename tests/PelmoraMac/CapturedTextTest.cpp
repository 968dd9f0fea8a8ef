#include "PelmoraMac/Capture/CapturedText.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

std::string hex(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2).toHex(' ').toStdString();
}

// What every road of a capture (a selection, a text area, an article, the primary selection, the
// clipboard) counts as nothing read: texts that would play as "�", boxes or empty frames.
TEST(CapturedText, OnlyACharacterThatDrawsSomethingMakesSomethingToRead) {
    const QString nothing[] = {
        u""_s,
        u" \t\n\r\u000B\u000C\u0085\u00A0\u3000\u2028\u2029"_s,
        QString(3, QChar(u'\0')),
        u"\u0001\u0008\u000E\u001B\u001C\u001F\u007F"_s,  // C0 but tab and the line breaks, DEL
        u"\u0080\u0090\u009F"_s,                          // C1
        u"\u200B\u200C\u200D\u2060\uFEFF"_s,              // zero-width space, the joiners, the word joiner, BOM
        u"\u200E\u200F\u061C"_s,                          // bidi marks
        u"\u202A\u202B\u202C\u202D\u202E\u2066\u2067\u2068\u2069"_s,  // embeddings, overrides, isolates
        u"\uFFFD\uFFFC"_s,
        u"\uFE0F\u00AD\U000E0041"_s,  // a variation selector, a soft hyphen, a tag (outside the BMP)
        QString(QChar(0xD800)),       // an unpaired surrogate: U+FFFD once converted
        QString(QChar(0xDC00)) + u" "_s,
        u"\u0000 \u200B\n\u202E\uFFFD\uFFFC\u0007"_s,
    };
    for (const QString& text : nothing) EXPECT_TRUE(holdsNothingToRead(text)) << hex(text);

    const QString something[] = {
        u"a"_s,
        u"\u200Bあ\u200B"_s,
        u"\u0000x\u0000"_s,
        u"\u202E\u05D0"_s,
        u"\U0001F600"_s,  // a pair of surrogates that draws
        u"\u0600"_s,      // a format character that is drawn (an Arabic number sign)
        u"\u00A0."_s,
        u"\u3164\u2500"_s,
        QString(20'000, u' ') + u"末"_s,
    };
    for (const QString& text : something) EXPECT_FALSE(holdsNothingToRead(text)) << hex(text);
}

// Over the bus a web page's masked text is only the bullets, white bullets and squares its browser draws, so
// each of them goes, alone or in a run, and the white space around it with it, but for those known to be
// the page's own; every other mark stays.
TEST(CapturedText, OnlyWhatABrowserDrawsForMaskedTextIsTakenOut) {
    const UnmaskedText unmasked = withoutBrowserMasks(u"●●県の■■さん、•◦■と○○×× ＊∙ * • 末"_s);
    EXPECT_EQ(unmasked.text, u"●●県のさん、と○○×× ＊∙ * 末"_s);
    EXPECT_EQ(unmasked.maskedUnits, 6);
    // Blanks around a run taken out: one space inside a line, none at a line's ends.
    EXPECT_EQ(withoutBrowserMasks(u"A •••••• B\n•••  C\nD\t◦ ◦\nE••F"_s).text, u"A B\nC\nD\nEF"_s);
    EXPECT_EQ(withoutBrowserMasks(u"■"_s).text, u""_s);
    EXPECT_EQ(withoutBrowserMasks(u"本文"_s).maskedUnits, 0);
    // Marks known to be shown in the clear stand as the text's own, beside a run taken out too.
    const UnmaskedText kept = withoutBrowserMasks(u"答え■ ••は • 三つ"_s, {2, 8});
    EXPECT_EQ(kept.text, u"答え■ は • 三つ"_s);
    EXPECT_EQ(kept.maskedUnits, 2);
}

}  // namespace
}  // namespace tavrine
