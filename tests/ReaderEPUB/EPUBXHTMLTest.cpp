#include "EPUBXHTMLTestSupport.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::failureOf;
using test::rendered;
using test::span;
using Failure = EPUBReader::Failure;
using FailureKind = Failure::Kind;
using Kind = ReadingDocument::Span::Kind;
using Notice = EPUBBook::Notice::Kind;
using Spans = QList<ReadingDocument::Span>;
using Notices = std::set<Notice>;

// --- text, white space and blocks ---------------------------------------------------------------------

TEST(EPUBXHTMLText, InlineSpansCoverTheirOwnTextAndBlockSpansTheirLineFeed) {
    const EPUBRendered result = rendered("<p>a <b>bold</b> c</p>");
    EXPECT_EQ(result.text, u"a bold c\n"_s);
    EXPECT_EQ(result.spans, (Spans{span(Kind::strong, 2, 6), span(Kind::paragraph, 0, 9)}));
    EXPECT_TRUE(result.notices.empty());
}

TEST(EPUBXHTMLText, WhiteSpaceRunsCollapseToOneSpaceAcrossElementsAndNeverStartALine) {
    const EPUBRendered result = rendered("<p>  a \n\t b<span> </span> <i> c</i>\r\n</p>  <p>\n d </p>");
    EXPECT_EQ(result.text, u"a b c\nd\n"_s);
    EXPECT_EQ(result.spans,
              (Spans{span(Kind::emphasis, 4, 5), span(Kind::paragraph, 0, 6), span(Kind::paragraph, 6, 8)}));
}

TEST(EPUBXHTMLText, NoBreakSpacesAndOtherSeparatorsArePartOfAWord) {
    EXPECT_EQ(rendered("<p>a&#160;&#160;b &#x3000;c</p>").text, u"a\u00A0\u00A0b \u3000c\n"_s);
}

TEST(EPUBXHTMLText, NestedBlocksEndEachLineOnceAndOnlyLineBreaksMakeEmptyLines) {
    EXPECT_EQ(rendered("<div><div><p>a</p></div><section><article><p>b</p></article></section></div>").text,
              u"a\nb\n"_s);
    const EPUBRendered breaks = rendered("<p>a <br/><br/> b</p>");
    EXPECT_EQ(breaks.text, u"a\n\nb\n"_s);
    EXPECT_EQ(breaks.spans, (Spans{span(Kind::paragraph, 0, 5)}));
    // A rule ends the line and adds nothing of its own.
    EXPECT_EQ(rendered("a<hr/>b<hr/><hr/>").text, u"a\nb\n"_s);
}

TEST(EPUBXHTMLText, PreformattedTextIsKeptAsWrittenWithItsInlineSpans) {
    const EPUBRendered result = rendered("<pre>  x  y\n<code>z</code>\n</pre><p>q</p>");
    EXPECT_EQ(result.text, u"  x  y\nz\nq\n"_s);
    EXPECT_EQ(result.spans, (Spans{span(Kind::code, 7, 8), span(Kind::codeBlock, 0, 9), span(Kind::paragraph, 9, 11)}));
    // Collapsing resumes after the block.
    EXPECT_EQ(rendered("<pre>a  b</pre><p>c  d</p>").text, u"a  b\nc d\n"_s);
}

TEST(EPUBXHTMLText, EachNameRecordsItsSpanKindAndUnknownOrMiscasedNamesAreInline) {
    const EPUBRendered result = rendered(
        "<dl><dt>t</dt><dd>d</dd></dl><figure><figcaption>f</figcaption></figure>"
        "<p><em>e</em><i>i</i><strong>s</strong><b>b</b><code>c</code><kbd>k</kbd><samp>m</samp></p>"
        "<P>x</P><custom>y</custom>");
    EXPECT_EQ(result.text, u"t\nd\nf\neisbckm\nxy\n"_s);
    EXPECT_EQ(result.spans, (Spans{span(Kind::paragraph, 0, 2), span(Kind::paragraph, 2, 4),
                                   span(Kind::paragraph, 4, 6), span(Kind::emphasis, 6, 7), span(Kind::emphasis, 7, 8),
                                   span(Kind::strong, 8, 9), span(Kind::strong, 9, 10), span(Kind::code, 10, 11),
                                   span(Kind::code, 11, 12), span(Kind::code, 12, 13), span(Kind::paragraph, 6, 14)}));
}

TEST(EPUBXHTMLText, QuotesCarryTheirNestingDepth) {
    const EPUBRendered result = rendered(
        "<blockquote><p>a</p><blockquote><p>b</p></blockquote></blockquote>"
        "<blockquote>c</blockquote>");
    EXPECT_EQ(result.text, u"a\nb\nc\n"_s);
    EXPECT_EQ(result.spans, (Spans{span(Kind::paragraph, 0, 2), span(Kind::paragraph, 2, 4), span(Kind::quote, 2, 4, 2),
                                   span(Kind::quote, 0, 4, 1), span(Kind::quote, 4, 6, 1)}));
}

TEST(EPUBXHTMLText, ElementsWithoutTextRecordNoSpan) {
    const EPUBRendered result = rendered("<p></p><p> </p><b></b><blockquote/><h1> </h1>x");
    EXPECT_EQ(result.text, u"x\n"_s);
    EXPECT_TRUE(result.spans.isEmpty());
}

// --- headings and the title ---------------------------------------------------------------------------

TEST(EPUBXHTMLHeadings, TheFirstHeadingWithTextGivesTheTrimmedTitle) {
    const EPUBRendered result = rendered("<h1> Title </h1><p>x</p><h2>Later</h2>");
    EXPECT_EQ(result.text, u"Title\nx\nLater\n"_s);
    EXPECT_EQ(result.title, u"Title"_s);
    EXPECT_EQ(result.spans,
              (Spans{span(Kind::heading, 0, 6, 1), span(Kind::paragraph, 6, 8), span(Kind::heading, 8, 14, 2)}));

    // A heading of nothing but a no-break space has text, and a span, but gives no title.
    const EPUBRendered blank = rendered("<h1>&#160;</h1><h6>Six</h6>");
    EXPECT_EQ(blank.title, u"Six"_s);
    EXPECT_EQ(blank.spans, (Spans{span(Kind::heading, 0, 2, 1), span(Kind::heading, 2, 6, 6)}));
    EXPECT_EQ(rendered("<p>no heading</p>").title, std::nullopt);
}

TEST(EPUBXHTMLHeadings, AHeadingNestedInAHeadingFinishesFirstAndWinsTheTitle) {
    const EPUBRendered result = rendered("<h2>Outer <h3>Inner</h3> tail</h2>");
    EXPECT_EQ(result.text, u"Outer\nInner\ntail\n"_s);
    EXPECT_EQ(result.title, u"Inner"_s);
    EXPECT_EQ(result.spans, (Spans{span(Kind::heading, 6, 12, 3), span(Kind::heading, 0, 17, 2)}));
}

// --- lists ----------------------------------------------------------------------------------------------

TEST(EPUBXHTMLLists, OrderedItemsCountFromTheStartAndUnorderedItemsTakeABullet) {
    const EPUBRendered ordered = rendered(R"(<ol start="3"><li>a</li><li>b</li></ol>)");
    EXPECT_EQ(ordered.text, u"3. a\n4. b\n"_s);
    EXPECT_EQ(ordered.spans, (Spans{span(Kind::listItem, 0, 5, 1), span(Kind::listItem, 5, 10, 1)}));
    EXPECT_EQ(rendered("<ul><li>a</li><li> b </li></ul>").text, u"• a\n• b\n"_s);
}

TEST(EPUBXHTMLLists, StartValuesReadAsSignedIntegersWithinAMillion) {
    const auto markers = [](const QByteArray& start) {
        auto result = test::renderBody(R"(<ol start=")" + start + R"("><li>a</li><li>b</li><li>c</li></ol>)");
        return result ? result->text : failureName(result.error());
    };
    EXPECT_EQ(markers("-2"), u"-2. a\n-1. b\n0. c\n"_s);
    EXPECT_EQ(markers("+7"), u"7. a\n8. b\n9. c\n"_s);
    EXPECT_EQ(markers("1000000"), u"1000000. a\n1000001. b\n1000002. c\n"_s);
    EXPECT_EQ(markers("-1000000"), u"-1000000. a\n-999999. b\n-999998. c\n"_s);
    // What does not read as an integer counts as 1.
    for (const QByteArray start : {"abc", " 3", "3 ", "", "+", "--1", "1.5", "99999999999999999999"}) {
        EXPECT_EQ(markers(start), u"1. a\n2. b\n3. c\n"_s) << start.toStdString();
    }
    EXPECT_EQ(markers("1000001"), u"unsupportedContent"_s);
    EXPECT_EQ(markers("-1000001"), u"unsupportedContent"_s);
    EXPECT_EQ(markers("9223372036854775807"), u"unsupportedContent"_s);
}

TEST(EPUBXHTMLLists, ItemValuesSetTheCounterClampedAndHiddenItemsTakeNoNumber) {
    const EPUBRendered result = rendered(R"(<ol><li value="5000000">a</li><li>b</li><li value="x">c</li>)"
                                         R"(<li value="-5000000">d</li><li hidden="">gone</li><li>e</li></ol>)");
    EXPECT_EQ(result.text, u"1000000. a\n1000001. b\n1000002. c\n-1000000. d\n-999999. e\n"_s);
    EXPECT_EQ(result.notices, Notices{Notice::omittedHidden});
}

TEST(EPUBXHTMLLists, NestedListsAreNotIndentedAndCarryTheirDepthInTheSpanLevel) {
    const EPUBRendered result = rendered("<ul><li>a<ol><li>b</li></ol></li></ul>");
    EXPECT_EQ(result.text, u"• a\n1. b\n"_s);
    EXPECT_EQ(result.spans, (Spans{span(Kind::listItem, 4, 9, 2), span(Kind::listItem, 0, 9, 1)}));
}

TEST(EPUBXHTMLLists, TextBetweenItemsIsDroppedAndOtherChildrenAreRenderedAsUsual) {
    EXPECT_EQ(rendered("<ul>stray<p>para</p><li>x</li>tail</ul>").text, u"para\n• x\n"_s);
    EXPECT_EQ(failureOf(R"(<ul><li xmlns="urn:other">a</li></ul>)"), Failure::of(FailureKind::unsupportedContent));
}

// --- left-out and replaced content --------------------------------------------------------------------

TEST(EPUBXHTMLOmissions, HiddenAndNavigationContentIsLeftOutWithItsNotice) {
    const EPUBRendered result = rendered(R"(<p>a</p><div hidden="hidden">secret</div><p hidden="">x</p>)"
                                         R"(<nav>menu</nav><aside epub:type="landmarks">l</aside>)"
                                         R"(<section epub:type="chapter  page-list">p</section><p>b</p>)");
    EXPECT_EQ(result.text, u"a\nb\n"_s);
    EXPECT_EQ(result.notices, (Notices{Notice::omittedHidden, Notice::omittedNavigation}));
    // Only the exact tokens count.
    EXPECT_EQ(rendered(R"(<section epub:type="tocx chapter">c</section>)").text, u"c\n"_s);
}

TEST(EPUBXHTMLOmissions, RubyReadingsNeverEnterTheText) {
    const EPUBRendered result = rendered(
        "<p><ruby>漢<rp>(</rp><rt>かん</rt><rp>)</rp>字<rt>じ</rt></ruby>だ"
        "<ruby><rb>東</rb><rtc><rt>ひがし</rt></rtc></ruby></p>");
    EXPECT_EQ(result.text, u"漢字だ東\n"_s);
    EXPECT_EQ(result.notices, Notices{Notice::rubyAnnotationOmitted});
}

TEST(EPUBXHTMLOmissions, ImagesBecomePlaceholdersWithTheirAlternativeTextAsWritten) {
    const EPUBRendered result =
        rendered(R"(<p>x <img src="a.png"/> y<img alt=" Map "/><img alt="a&#10;  b"/><img alt="  "/></p>)");
    EXPECT_EQ(result.text, u"x ［画像］ y［画像：Map］［画像：a\n  b］［画像］\n"_s);
    EXPECT_EQ(result.notices, Notices{Notice::imagePlaceholder});
    EXPECT_EQ(result.spans, (Spans{span(Kind::paragraph, 0, result.text.size())}));
}

TEST(EPUBXHTMLOmissions, MediaKeepsItsFallbackTextAndStylesAndHeadsVanishSilently) {
    const EPUBRendered result = rendered(R"(<p>a<video><source src="v.mp4"/><track src="t.vtt"/>fallback</video>)"
                                         R"(<audio/></p><style>p { color: red }</style><head>h</head>)");
    EXPECT_EQ(result.text, u"afallback\n"_s);
    EXPECT_EQ(result.notices, Notices{Notice::mediaOmitted});
    EXPECT_EQ(rendered(R"(<p>s<source src="a"/></p>)").notices, Notices{Notice::mediaOmitted});
}

TEST(EPUBXHTMLOmissions, ContentThatCannotBeShownAsTextFailsTheDocument) {
    for (const QByteArray name : {"script", "iframe", "object", "embed", "canvas", "form", "input", "select"}) {
        EXPECT_EQ(failureOf("<p>a</p><" + name + "/>"), Failure::of(FailureKind::unsupportedContent))
            << name.toStdString();
        // Failing comes before being hidden.
        EXPECT_EQ(failureOf("<" + name + R"( hidden=""/>)"), Failure::of(FailureKind::unsupportedContent))
            << name.toStdString();
    }
    EXPECT_EQ(failureOf(R"(<p><svg xmlns="http://www.w3.org/2000/svg"/></p>)"),
              Failure::of(FailureKind::unsupportedContent));
    EXPECT_EQ(failureOf(R"(<math xmlns="http://www.w3.org/1998/Math/MathML" hidden=""><mi>x</mi></math>)"),
              Failure::of(FailureKind::unsupportedContent));
    // What is left out is never examined.
    EXPECT_EQ(rendered(R"(<p>a</p><div hidden=""><script/><svg xmlns="http://www.w3.org/2000/svg"/></div>)").text,
              u"a\n"_s);
    auto withScriptInHead = test::renderDocument(test::xhtmlDocument("<p>a</p>", "<script/><style/>"));
    ASSERT_TRUE(withScriptInHead.has_value());
    EXPECT_EQ(withScriptInHead->text, u"a\n"_s);
}

// --- anchors and identifiers --------------------------------------------------------------------------

TEST(EPUBXHTMLAnchors, AnElementIsAnchoredWhereItsTextStarts) {
    const EPUBRendered result =
        rendered(R"(<p id="p1">a <span id="s">b</span></p><hr id="rule"/><p>c<br id="br"/>d</p>)"
                 R"(<ul id="list"><li id="item">e</li></ul><p><img id="img"/><video id="v">f</video></p>)"
                 R"(<p xml:id="x">g</p>)");
    EXPECT_EQ(result.text, u"a b\nc\nd\n• e\n［画像］f\ng\n"_s);
    const QHash<QString, qsizetype> expected{{u"p1"_s, 0},   {u"s"_s, 2},    {u"rule"_s, 4},
                                             {u"br"_s, 5},   {u"list"_s, 8}, {u"item"_s, 8},
                                             {u"img"_s, 12}, {u"v"_s, 16},   {u"x"_s, 18}};
    EXPECT_EQ(result.anchors, expected);
}

TEST(EPUBXHTMLAnchors, LeftOutElementsAndElementsAtTheEndHaveNoAnchor) {
    const EPUBRendered result =
        rendered(R"(<p>a<ruby>b<rt id="rt">r</rt></ruby></p><nav id="nav">n</nav><p hidden="" id="hidden">h</p>)"
                 R"(<p><source id="source"/></p><style id="style"/><p>z</p><div id="end"><span id="empty"/></div>)");
    EXPECT_EQ(result.text, u"ab\nz\n"_s);
    EXPECT_TRUE(result.anchors.isEmpty()) << result.anchors.keys().join(u' ').toStdString();
}

TEST(EPUBXHTMLAnchors, AnAnchorInsideAComposedCharacterMovesToItsStart) {
    const EPUBRendered result = rendered(R"(<p>xe<span id="mark">&#x301;</span>y<span id="flag">🇯🇵</span></p>)");
    EXPECT_EQ(result.anchors.value(u"mark"_s, -1), 1);
    EXPECT_EQ(result.anchors.value(u"flag"_s, -1), 4);
}

TEST(EPUBXHTMLAnchors, EveryIdentifierOfTheDocumentMustBeUniqueAndNotEmpty) {
    const auto ambiguous = Failure::of(FailureKind::ambiguousContent);
    EXPECT_EQ(failureOf(R"(<p id="a">x</p><p id="a">y</p>)"), ambiguous);
    EXPECT_EQ(failureOf(R"(<p id="">x</p>)"), ambiguous);
    // id wins over xml:id, so an empty id is empty whatever xml:id says.
    EXPECT_EQ(failureOf(R"(<p id="" xml:id="b">x</p>)"), ambiguous);
    EXPECT_EQ(failureOf(R"(<p id="a">x</p><p xml:id="a">y</p>)"), ambiguous);
    EXPECT_EQ(failureOf(R"(<p>x</p><div hidden=""><span id="h"/><span id="h"/></div>)"), ambiguous);
    auto headAndBody = test::renderDocument(test::xhtmlDocument(R"(<p id="t">x</p>)", R"(<title id="t">T</title>)"));
    ASSERT_FALSE(headAndBody.has_value());
    EXPECT_EQ(headAndBody.error(), ambiguous);
}

// --- links ------------------------------------------------------------------------------------------------

TEST(EPUBXHTMLLinks, LinksCoverTheirTextAndKeepTheReferenceAsWritten) {
    const EPUBRendered result = rendered(R"(<p>see <a href=" ch2.xhtml#p3 ">there</a> and <a>here</a>)"
                                         R"(<a href="empty.xhtml"></a> <a href="o">x<a href="i">y</a></a></p>)");
    EXPECT_EQ(result.text, u"see there and here xy\n"_s);
    EXPECT_EQ(result.links,
              (QList<EPUBRendered::Link>{{4, 9, u" ch2.xhtml#p3 "_s}, {20, 21, u"i"_s}, {19, 21, u"o"_s}}));
}

// --- the document as a whole ------------------------------------------------------------------------------

TEST(EPUBXHTMLDocument, TheRootMustBeAnXHTMLHtmlWithExactlyOneXHTMLBody) {
    const auto invalid = Failure::of(FailureKind::invalidXML);
    const auto failure = [](const QByteArray& document) {
        auto result = test::renderDocument(document);
        return result ? std::nullopt : std::optional(result.error());
    };
    EXPECT_EQ(failure(R"(<body xmlns="http://www.w3.org/1999/xhtml">x</body>)"), invalid);
    EXPECT_EQ(failure("<html><body>x</body></html>"), invalid);
    EXPECT_EQ(failure(R"(<html xmlns="http://www.w3.org/1999/xhtml"><head/></html>)"), invalid);
    EXPECT_EQ(failure(R"(<html xmlns="http://www.w3.org/1999/xhtml"><body>x</body><body>y</body></html>)"), invalid);
    EXPECT_EQ(failure(R"(<html xmlns="http://www.w3.org/1999/xhtml"><div><body>x</body></div></html>)"), invalid);
    // A body of another vocabulary does not count, and what is not the body is not read.
    EXPECT_EQ(failure(R"(<html xmlns="http://www.w3.org/1999/xhtml"><body>x</body><body xmlns="urn:o"/>)"
                      R"(<p>outside</p></html>)"),
              std::nullopt);
}

TEST(EPUBXHTMLDocument, ADocumentWithoutVisibleTextIsEmpty) {
    const auto empty = Failure::of(FailureKind::emptyContent);
    EXPECT_EQ(failureOf(" \n\t "), empty);
    EXPECT_EQ(failureOf("<p>&#160;&#x3000;</p><br/><br/>"), empty);
    EXPECT_EQ(failureOf(R"(<p hidden="">x</p><nav>toc</nav><style>s</style>)"), empty);
    auto hiddenBody =
        test::renderDocument(R"(<html xmlns="http://www.w3.org/1999/xhtml"><body hidden="">x</body></html>)");
    ASSERT_FALSE(hiddenBody.has_value());
    EXPECT_EQ(hiddenBody.error(), empty);
}

TEST(EPUBXHTMLDocument, TheTextMayReachItsLimitButNotExceedIt) {
    const auto failure = [](const QByteArray& body, qsizetype limit) {
        auto result = test::renderBody(body, limit);
        return result ? std::nullopt : std::optional(result.error());
    };
    const auto overLimit = Failure::limit(EPUBReader::ResourceLimit::textUTF16);
    // "abc" and its line feed: four units.
    EXPECT_EQ(failure("<p>abc</p>", 4), std::nullopt);
    EXPECT_EQ(failure("<p>abc</p>", 3), overLimit);
    // Spaces, markers and placeholders count as well.
    EXPECT_EQ(failure("<ol><li>a b</li></ol>", 7), std::nullopt);
    EXPECT_EQ(failure("<ol><li>a b</li></ol>", 6), overLimit);
    EXPECT_EQ(failure("<img/>", 5), std::nullopt);
    EXPECT_EQ(failure("<img/>", 4), overLimit);
}

TEST(EPUBXHTMLDocument, ACancelledImportStopsTheRendering) {
    CancellationToken token;
    token.cancel();
    auto result = test::renderDocument(test::xhtmlDocument("<p>a</p>"), 500'000, token);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), Failure::cancelled());
}

}  // namespace
}  // namespace tavrine
