// Names from outside made safe for a terminal's or a notice's line: what is escaped and what is kept.
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

}  // namespace
}  // namespace tavrine
