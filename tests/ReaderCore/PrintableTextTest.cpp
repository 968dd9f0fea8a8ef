// Names from outside made safe for a terminal's or a notice's line, or for one line of the window: what is
// escaped, what becomes a space and what is kept.
#include "ReaderCore/PrintableText.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

TEST(PrintableText, ControlsSeparatorsAndDirectionMarksAreEscapedAndEverythingElseKept) {
    // C0 at both ends, DEL, C1 at both ends.
    EXPECT_EQ(escapingControlCharacters(u"a\u0000b\u001Fc\u007Fd\u0080e\u009F"_s), u"a\\x00b\\x1Fc\\x7Fd\\x80e\\x9F"_s);
    // A terminal's colour sequence and a line feed in a file name.
    EXPECT_EQ(escapingControlCharacters(u"猫\u001B[31m\n.epub"_s), u"猫\\x1B[31m\\x0A.epub"_s);
    // Separators, embeddings, overrides and isolates; the marks beside them stay.
    EXPECT_EQ(escapingControlCharacters(u"\u2028\u2029\u202A\u202E\u2066\u2069"_s),
              u"\\u2028\\u2029\\u202A\\u202E\\u2066\\u2069"_s);
    const QString kept = u" ~\u00A0\u200E\u202F\u2070日本語😀\\x41"_s;
    EXPECT_EQ(escapingControlCharacters(kept), kept);
    EXPECT_EQ(escapingControlCharacters(u""_s), u""_s);
}

TEST(PrintableText, OnALineOfTheWindowBreaksAndTabsBecomeOneSpaceAndOtherControlsAreEscaped) {
    // The override that would draw "phototxt.jpg", and an isolate left open: escaped, read in stored order.
    EXPECT_EQ(oneLineText(u"photo\u202Egpj.txt"_s), u"photo\\u202Egpj.txt"_s);
    EXPECT_EQ(oneLineText(u"\u2067abc"_s), u"\\u2067abc"_s);
    // Each break (CR LF, NEL and the separators included) or tab, with the blanks around it, is one space.
    EXPECT_EQ(oneLineText(u"上巻\r\n    下巻"_s), u"上巻 下巻"_s);
    EXPECT_EQ(oneLineText(u"a \n\n b\tc\u2028d\u2029e\u0085f\u000Bg\u000Ch"_s), u"a b c d e f g h"_s);
    EXPECT_EQ(oneLineText(u"a.txt\n"_s), u"a.txt "_s);
    // Blanks away from a break stay; other controls are escaped as for a terminal.
    EXPECT_EQ(oneLineText(u"a  b\u00A0\u001B[0m\u001C\u009F"_s), u"a  b\u00A0\\x1B[0m\\x1C\\x9F"_s);
    const QString kept = u"日本語 😀 \u200E\\x41"_s;
    EXPECT_EQ(oneLineText(kept), kept);
}

}  // namespace
}  // namespace tavrine
