#include "ReaderEPUB/EPUBXHTMLEntities.h"

#include "EPUBXMLTestSupport.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using Failure = EPUBReader::Failure;

QByteArray replaced(const QByteArray& text) {
    auto result = EPUBXHTMLEntities::replaceNamedEntities(text, CancellationToken::none());
    EXPECT_TRUE(result.has_value());
    return result.value_or(QByteArray());
}

TEST(EPUBXHTMLEntityTable, HoldsTheHTML4NamesLessThoseXMLPredefines) {
    EXPECT_EQ(EPUBXHTMLEntities::character("nbsp"), U'\u00A0');
    EXPECT_EQ(EPUBXHTMLEntities::character("euro"), U'\u20AC');
    EXPECT_EQ(EPUBXHTMLEntities::character("lang"), U'\u2329');
    EXPECT_EQ(EPUBXHTMLEntities::character("rang"), U'\u232A');
    EXPECT_EQ(EPUBXHTMLEntities::character("AElig"), U'\u00C6');  // first in byte order
    EXPECT_EQ(EPUBXHTMLEntities::character("zwnj"), U'\u200C');   // last
    EXPECT_EQ(EPUBXHTMLEntities::character("thetasym"), U'\u03D1');
    EXPECT_EQ(EPUBXHTMLEntities::character("Aacute"), U'\u00C1');
    EXPECT_EQ(EPUBXHTMLEntities::character("aacute"), U'\u00E1');
    for (const char* absent : {"amp", "lt", "gt", "quot", "apos", "NBSP", "nbs", "nbspx", "thetasymx", ""}) {
        EXPECT_EQ(EPUBXHTMLEntities::character(absent), std::nullopt) << absent;
    }
}

TEST(EPUBXHTMLEntityPass, ReplacesKnownReferencesOutsideCommentsCDATAAndInstructions) {
    struct Case {
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"a&nbsp;b&eacute;", "a\u00A0b\u00E9"},
        {"<p title=\"&copy;\">&hellip;</p>", "<p title=\"\u00A9\">\u2026</p>"},
        {"<!-- &nbsp; --> &nbsp;", "<!-- &nbsp; --> \u00A0"},
        {"<![CDATA[ &nbsp; ]]> &nbsp;", "<![CDATA[ &nbsp; ]]> \u00A0"},
        {"<?pi &nbsp; ?> &nbsp;", "<?pi &nbsp; ?> \u00A0"},
        // Numeric, predefined and unknown references are the parser's; so is a name without ";".
        {"&amp;&#160;&#xA0;&bogus;&nbsp &nbsp;", "&amp;&#160;&#xA0;&bogus;&nbsp \u00A0"},
        {"&1nbsp; & nbsp; &&nbsp;", "&1nbsp; & nbsp; &\u00A0"},
        // An opener reaches to the first terminator of its own kind, across anything in between.
        {"<!-- &nbsp; <?x ?> &nbsp; --> &nbsp;", "<!-- &nbsp; <?x ?> &nbsp; --> \u00A0"},
        {"<?x <!-- ?> &nbsp; -->", "<?x <!-- ?> \u00A0 -->"},
        // An opener never ends inside itself.
        {"<!--> &nbsp; -->", "<!--> &nbsp; -->"},
        {"<?> &nbsp; ?>", "<?> &nbsp; ?>"},
        // Without a terminator further on, the opener is plain text.
        {"<!-- &nbsp; <?x &nbsp;", "<!-- \u00A0 <?x \u00A0"},
        {"<![CDATA[ &nbsp; ]]", "<![CDATA[ \u00A0 ]]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(replaced(c.input), QByteArray(c.expected)) << c.input;
    }
}

TEST(EPUBXHTMLEntityPass, LeavesTheTextUntouchedWhenNothingIsReplaced) {
    const QByteArray text("<p>&amp; <!-- &nbsp; --></p>");
    auto result = EPUBXHTMLEntities::replaceNamedEntities(text, CancellationToken::none());
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->isSharedWith(text));
    // Text before the start position is neither scanned nor changed.
    EXPECT_EQ(EPUBXHTMLEntities::replaceNamedEntities("&nbsp;&nbsp;", CancellationToken::none(), 6).value(),
              QByteArray("&nbsp;\u00A0"));
}

TEST(EPUBXHTMLEntityPass, HostileRunsOfUnterminatedOpenersEndWithTheRightResult) {
    // Megabytes of openers without terminators: each is text, so the reference after them is replaced.
    for (const char* opener : {"<!--", "<?", "<![CDATA["}) {
        QByteArray text;
        while (text.size() < 4 * 1024 * 1024) text.append(opener);
        text.append("&nbsp;");
        const QByteArray result = replaced(text);
        EXPECT_TRUE(result.endsWith("\u00A0")) << opener;
        EXPECT_EQ(result.size(), text.size() - 6 + 2) << opener;
    }
}

TEST(EPUBXHTMLEntityPass, StopsWhenCancelled) {
    CancellationToken token;
    token.cancel();
    EXPECT_EQ(EPUBXHTMLEntities::replaceNamedEntities("&nbsp;", token).error(), Failure::cancelled());
    EXPECT_EQ(EPUBXHTMLEntities::replaceNamedEntities(QByteArray(200'000, 'x'), token).error(), Failure::cancelled());
}

}  // namespace
}  // namespace tavrine
