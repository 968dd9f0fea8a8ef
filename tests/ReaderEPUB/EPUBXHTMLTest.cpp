#include "EPUBTestSupport.h"

namespace tavrine {

inline void PrintTo(const EPUBRendered::Link& link, std::ostream* out) {
    *out << "{" << link.start << ".." << link.end << " \"" << link.reference << "\"}";
}

namespace {
using namespace Qt::StringLiterals;
using namespace test;
using FailureKind = Failure::Kind;
using Kind = ReadingDocument::Span::Kind;
using Notice = EPUBBook::Notice::Kind;
using Spans = QList<ReadingDocument::Span>;
using Notices = std::set<Notice>;

ReadingDocument::Span span(Kind kind, qsizetype start, qsizetype end, qint64 level = 0) {
    return {kind, start, end, level};
}

// A body and what it renders to: the text, the spans when given, and always the notices.
struct Rendering {
    QByteArray body{};
    QString text{};
    std::optional<Spans> spans{};
    Notices notices{};
};

void expectRenderings(std::initializer_list<Rendering> cases) {
    for (const Rendering& c : cases) {
        SCOPED_TRACE(c.body.toStdString());
        const EPUBRendered result = rendered(c.body);
        EXPECT_EQ(result.text, c.text);
        if (c.spans) {
            EXPECT_EQ(result.spans, *c.spans);
        }
        EXPECT_EQ(result.notices, c.notices);
    }
}

std::optional<Failure> renderFailure(const QByteArray& body, qsizetype limit = 500'000) {
    return failureOf(renderBody(body, limit));
}

TEST(EPUBXHTMLText, BlocksEndTheirLineOnceInlineSpansCoverTheirOwnTextAndWhiteSpaceCollapses) {
    expectRenderings({
        {"<p>a <b>bold</b> c</p>", u"a bold c\n"_s, Spans{span(Kind::strong, 2, 6), span(Kind::paragraph, 0, 9)}},
        // Runs of white space collapse to one space across elements and never start a line.
        {"<p>  a \n\t b<span> </span> <i> c</i>\r\n</p>  <p>\n d </p>", u"a b c\nd\n"_s,
         Spans{span(Kind::emphasis, 4, 5), span(Kind::paragraph, 0, 6), span(Kind::paragraph, 6, 8)}},
        {"<p>a&#160;&#160;b &#x3000;c</p>", u"a\u00A0\u00A0b \u3000c\n"_s},
        {"<div><div><p>a</p></div><section><article><p>b</p></article></section></div>", u"a\nb\n"_s},
        // Only line breaks make empty lines; a rule ends the line and adds nothing of its own.
        {"<p>a <br/><br/> b</p>", u"a\n\nb\n"_s, Spans{span(Kind::paragraph, 0, 5)}},
        {"a<hr/>b<hr/><hr/>", u"a\nb\n"_s},
        // Preformatted text is kept as written, with its inline spans; collapsing resumes after it.
        {"<pre>  x  y\n<code>z</code>\n</pre><p>q  r</p>", u"  x  y\nz\nq r\n"_s,
         Spans{span(Kind::code, 7, 8), span(Kind::codeBlock, 0, 9), span(Kind::paragraph, 9, 13)}},
        // Names are matched exactly: the others, and those in other case, are inline.
        {"<dl><dt>t</dt><dd>d</dd></dl><figure><figcaption>f</figcaption></figure><p><kbd>k</kbd><samp>m</samp></p>"
         "<P>x</P><custom>y</custom>",
         u"t\nd\nf\nkm\nxy\n"_s,
         Spans{span(Kind::paragraph, 0, 2), span(Kind::paragraph, 2, 4), span(Kind::paragraph, 4, 6),
               span(Kind::code, 6, 7), span(Kind::code, 7, 8), span(Kind::paragraph, 6, 9)}},
        // Quotes carry their nesting depth; elements without text record no span.
        {"<blockquote><p>a</p><blockquote><p>b</p></blockquote></blockquote><blockquote>c</blockquote>", u"a\nb\nc\n"_s,
         Spans{span(Kind::paragraph, 0, 2), span(Kind::paragraph, 2, 4), span(Kind::quote, 2, 4, 2),
               span(Kind::quote, 0, 4, 1), span(Kind::quote, 4, 6, 1)}},
        {"<p></p><p> </p><b></b><blockquote/><h1> </h1>x", u"x\n"_s, Spans{}},
    });
}

TEST(EPUBXHTMLText, TheFirstHeadingWithTextGivesTheTrimmedTitleAndANestedHeadingFinishesFirst) {
    const EPUBRendered result = rendered("<h1> Title </h1><p>x</p><h2>Later</h2>");
    EXPECT_EQ(result.title, u"Title"_s);
    EXPECT_EQ(result.spans,
              (Spans{span(Kind::heading, 0, 6, 1), span(Kind::paragraph, 6, 8), span(Kind::heading, 8, 14, 2)}));
    // A heading of nothing but a no-break space has text, and a span, but gives no title.
    const EPUBRendered blank = rendered("<h1>&#160;</h1><h6>Six</h6>");
    EXPECT_EQ(blank.title, u"Six"_s);
    EXPECT_EQ(blank.spans, (Spans{span(Kind::heading, 0, 2, 1), span(Kind::heading, 2, 6, 6)}));
    EXPECT_EQ(rendered("<p>no heading</p>").title, std::nullopt);

    const EPUBRendered nested = rendered("<h2>Outer <h3>Inner</h3> tail</h2>");
    EXPECT_EQ(nested.text, u"Outer\nInner\ntail\n"_s);
    EXPECT_EQ(nested.title, u"Inner"_s);
    EXPECT_EQ(nested.spans, (Spans{span(Kind::heading, 6, 12, 3), span(Kind::heading, 0, 17, 2)}));
}

TEST(EPUBXHTMLLists, ItemsAreNumberedFromTheStartOrBulletedAndNestedListsCarryTheirDepth) {
    expectRenderings({
        {R"(<ol start="3"><li>a</li><li>b</li></ol>)", u"3. a\n4. b\n"_s,
         Spans{span(Kind::listItem, 0, 5, 1), span(Kind::listItem, 5, 10, 1)}},
        {"<ul><li>a<ol><li>b</li></ol></li></ul>", u"• a\n1. b\n"_s,
         Spans{span(Kind::listItem, 4, 9, 2), span(Kind::listItem, 0, 9, 1)}},
        // Text between items is dropped, other children are rendered as usual.
        {"<ul>stray<p>para</p><li>x</li><li> y </li>tail</ul>", u"para\n• x\n• y\n"_s},
        // Item values set the counter, clamped; hidden items take no number.
        {R"(<ol><li value="5000000">a</li><li>b</li><li value="x">c</li>)"
         R"(<li value="-5000000">d</li><li hidden="">gone</li><li>e</li></ol>)",
         u"1000000. a\n1000001. b\n1000002. c\n-1000000. d\n-999999. e\n"_s,
         std::nullopt,
         {Notice::omittedHidden}},
    });
    EXPECT_EQ(renderFailure(R"(<ul><li xmlns="urn:other">a</li></ul>)"), failure(FailureKind::unsupportedContent));
}

// The shapes DocBook and Sphinx write in nearly every list: the item's text inside a paragraph.
TEST(EPUBXHTMLLists, AnItemsFirstBlockSharesItsMarkersLineWithItsSpansAndAnchors) {
    expectRenderings({
        {"<ul><li><p>first item</p></li></ul>", u"• first item\n"_s,
         Spans{span(Kind::paragraph, 2, 13), span(Kind::listItem, 0, 13, 1)}},
        // As DocBook indents it: the white space around the paragraph leaves no space behind.
        {"<ol>\n  <li class=\"listitem\">\n    <p>\n      one\n    </p>\n  </li>\n  <li><p>two</p></li>\n</ol>",
         u"1. one\n2. two\n"_s,
         Spans{span(Kind::paragraph, 3, 7), span(Kind::listItem, 0, 7, 1), span(Kind::paragraph, 10, 14),
               span(Kind::listItem, 7, 14, 1)}},
        // A paragraph and a nested list, whose own item's paragraph shares that item's marker line.
        {"<ul><li><p>first</p><ul><li><p>inner</p></li></ul></li></ul>", u"• first\n• inner\n"_s,
         Spans{span(Kind::paragraph, 2, 8), span(Kind::paragraph, 10, 16), span(Kind::listItem, 8, 16, 2),
               span(Kind::listItem, 0, 16, 1)}},
        // Only the first block shares the line.
        {"<ol start=\"9\"><li><p>one</p><p>more</p></li></ol>", u"9. one\nmore\n"_s,
         Spans{span(Kind::paragraph, 3, 7), span(Kind::paragraph, 7, 12), span(Kind::listItem, 0, 12, 1)}},
        // Blocks nested in the first block, a heading, a quote, a list that is the first block, and an
        // empty first block, which ends no line.
        {"<ul><li><div><section><p>deep</p></section></div></li><li><h3>Head</h3></li>"
         "<li><blockquote><p>q</p></blockquote></li><li><ol><li>x</li></ol></li><li><p/><p>y</p></li></ul>",
         u"• deep\n• Head\n• q\n• 1. x\n• y\n"_s,
         Spans{span(Kind::paragraph, 2, 7), span(Kind::listItem, 0, 7, 1), span(Kind::heading, 9, 14, 3),
               span(Kind::listItem, 7, 14, 1), span(Kind::paragraph, 16, 18), span(Kind::quote, 16, 18, 1),
               span(Kind::listItem, 14, 18, 1), span(Kind::listItem, 20, 25, 2), span(Kind::listItem, 18, 25, 1),
               span(Kind::paragraph, 27, 29), span(Kind::listItem, 25, 29, 1)}},
        // A grid as the first block: its first cell on the marker's line.
        {"<ul><li><table><tr><td>a</td><td>b</td></tr></table></li></ul>", u"• a\nb\n"_s,
         Spans{span(Kind::tableCell, 2, 4), span(Kind::tableCell, 4, 6), span(Kind::table, 2, 6, 2),
               span(Kind::listItem, 0, 6, 1)}},
    });
    const EPUBRendered anchored =
        rendered(R"(<ol><li id="i"><p id="p">one <a href="#p" id="a">link</a></p><p id="q">two</p></li></ol>)");
    EXPECT_EQ(anchored.text, u"1. one link\ntwo\n"_s);
    EXPECT_EQ(anchored.anchors, (QHash<QString, qsizetype>{{u"i"_s, 0}, {u"p"_s, 3}, {u"a"_s, 7}, {u"q"_s, 12}}));
    EXPECT_EQ(anchored.links, (QList<EPUBRendered::Link>{{7, 11, u"#p"_s}}));
}

TEST(EPUBXHTMLLists, ALineThatEndsRightAfterAMarkerLosesTheMarkersSpace) {
    expectRenderings({
        {"<ul><li></li><li> </li><li><br/>x</li><li><hr/>y</li><li><pre>\nz</pre></li></ul>",
         u"•\n•\n•\nx\n•\ny\n•\nz\n"_s,
         Spans{span(Kind::listItem, 0, 2, 1), span(Kind::listItem, 2, 4, 1), span(Kind::listItem, 4, 8, 1),
               span(Kind::listItem, 8, 12, 1), span(Kind::codeBlock, 14, 16), span(Kind::listItem, 12, 16, 1)}},
        // An empty first cell ends the marker's line; its span, and the table's, take that line feed.
        {"<ol><li><table><tr><td/><td>b</td></tr></table></li></ol>", u"1.\nb\n"_s,
         Spans{span(Kind::tableCell, 2, 3), span(Kind::tableCell, 3, 5), span(Kind::table, 2, 5, 2),
               span(Kind::listItem, 0, 5, 1)}},
    });
    // The marker's space is taken back before the line feed is counted: the text may fill its limit.
    EXPECT_EQ(renderFailure("<ol><li/></ol>", 3), std::nullopt);
    EXPECT_EQ(renderFailure("<ol><li/></ol>", 2), exceeded(Limit::textUTF16));
}

TEST(EPUBXHTMLLists, StartValuesReadAsSignedIntegersWithinAMillion) {
    const auto markers = [](const QByteArray& start) {
        auto result = renderBody(R"(<ol start=")" + start + R"("><li>a</li><li>b</li></ol>)");
        return result ? result->text : failureName(result.error());
    };
    EXPECT_EQ(markers("-1"), u"-1. a\n0. b\n"_s);
    EXPECT_EQ(markers("+7"), u"7. a\n8. b\n"_s);
    EXPECT_EQ(markers("1000000"), u"1000000. a\n1000001. b\n"_s);
    EXPECT_EQ(markers("-1000000"), u"-1000000. a\n-999999. b\n"_s);
    // What does not read as an integer counts as 1.
    for (const QByteArray start : {"abc", " 3", "3 ", "", "+", "--1", "1.5", "99999999999999999999"}) {
        EXPECT_EQ(markers(start), u"1. a\n2. b\n"_s) << start.toStdString();
    }
    for (const QByteArray start : {"1000001", "-1000001", "9223372036854775807"}) {
        EXPECT_EQ(markers(start), u"unsupportedContent"_s) << start.toStdString();
    }
}

TEST(EPUBXHTMLOmissions, HiddenNavigationRubyMediaAndImagesAreLeftOutOrReplacedWithTheirNotice) {
    expectRenderings({
        {R"(<p>a</p><div hidden="hidden">secret</div><p hidden="">x</p><nav>menu</nav>)"
         R"(<aside epub:type="landmarks">l</aside><section epub:type="chapter  page-list">p</section><p>b</p>)",
         u"a\nb\n"_s,
         std::nullopt,
         {Notice::omittedHidden, Notice::omittedNavigation}},
        // Only the exact tokens count.
        {R"(<section epub:type="tocx chapter">c</section>)", u"c\n"_s},
        // Ruby readings never enter the text.
        {"<p><ruby>漢<rp>(</rp><rt>かん</rt><rp>)</rp>字<rt>じ</rt></ruby>だ<ruby><rb>東</rb><rtc><rt>ひがし</rt></"
         "rtc></ruby></p>",
         u"漢字だ東\n"_s,
         std::nullopt,
         {Notice::rubyAnnotationOmitted}},
        // Media keeps its fallback text; styles and heads vanish silently.
        {R"(<p>a<video><source src="v.mp4"/><track src="t.vtt"/>fallback</video><audio/></p>)"
         R"(<style>p { color: red }</style><head>h</head>)",
         u"afallback\n"_s,
         std::nullopt,
         {Notice::mediaOmitted}},
        {R"(<p>s<source src="a"/></p>)", u"s\n"_s, std::nullopt, {Notice::mediaOmitted}},
        // Images become placeholders with their alternative text as written.
        {R"(<p>x <img src="a.png"/> y<img alt=" Map "/><img alt="a&#10;  b"/><img alt="  "/></p>)",
         u"x ［画像］ y［画像：Map］［画像：a\n  b］［画像］\n"_s,
         Spans{span(Kind::paragraph, 0, 31)},
         {Notice::imagePlaceholder}},
        // What is left out is never examined.
        {R"(<p>a</p><div hidden=""><script/><svg xmlns="http://www.w3.org/2000/svg"/></div>)",
         u"a\n"_s,
         std::nullopt,
         {Notice::omittedHidden}},
    });
    EXPECT_EQ(renderDocument(xhtmlDocument("<p>a</p>", "<script/><style/>")).value_or(EPUBRendered()).text, u"a\n"_s);
}

TEST(EPUBXHTMLOmissions, ContentThatCannotBeShownAsTextFailsTheDocumentEvenWhenHidden) {
    for (const QByteArray name : {"script", "iframe", "object", "embed", "canvas", "form", "input", "select"}) {
        EXPECT_EQ(renderFailure("<p>a</p><" + name + R"( hidden=""/>)"), failure(FailureKind::unsupportedContent))
            << name.toStdString();
    }
    EXPECT_EQ(renderFailure(R"(<p><svg xmlns="http://www.w3.org/2000/svg"/></p>)"),
              failure(FailureKind::unsupportedContent));
    EXPECT_EQ(renderFailure(R"(<math xmlns="http://www.w3.org/1998/Math/MathML" hidden=""><mi>x</mi></math>)"),
              failure(FailureKind::unsupportedContent));
}

TEST(EPUBXHTMLAnchors, AnElementIsAnchoredWhereItsTextStartsUnlessLeftOutOrAtTheEnd) {
    const EPUBRendered result = rendered(
        R"(<p id="p1">a <span id="s">b</span></p><hr id="rule"/><p>c<br id="br"/>d</p>)"
        R"(<ul id="list"><li id="item">e</li></ul><p><img id="img"/><video id="v">f</video></p>)"
        R"(<p xml:id="x">g<ruby>b<rt id="rt">r</rt></ruby></p><nav id="nav">n</nav>)"
        R"(<p hidden="" id="hidden">h</p><p><source id="source"/></p><style id="style"/>)"
        R"(<p>x<span id="mark">&#x301;</span>y<span id="flag">🇯🇵</span></p><div id="end"><span id="empty"/></div>)");
    EXPECT_EQ(result.text, u"a b\nc\nd\n• e\n［画像］f\ngb\nx\u0301y🇯🇵\n"_s);
    // An anchor inside a composed character sequence moves to its start.
    const QHash<QString, qsizetype> expected{{u"p1"_s, 0},   {u"s"_s, 2},     {u"rule"_s, 4}, {u"br"_s, 5},
                                             {u"list"_s, 8}, {u"item"_s, 8},  {u"img"_s, 12}, {u"v"_s, 16},
                                             {u"x"_s, 18},   {u"mark"_s, 21}, {u"flag"_s, 24}};
    EXPECT_EQ(result.anchors, expected);
}

TEST(EPUBXHTMLAnchors, EveryIdentifierOfTheDocumentMustBeUniqueAndNotEmpty) {
    for (const QByteArray body :
         {R"(<p id="a">x</p><p id="a">y</p>)", R"(<p id="" xml:id="b">x</p>)", R"(<p id="a">x</p><p xml:id="a">y</p>)",
          R"(<p>x</p><div hidden=""><span id="h"/><span id="h"/></div>)"}) {
        EXPECT_EQ(renderFailure(body), failure(FailureKind::ambiguousContent)) << body.toStdString();
    }
    EXPECT_EQ(failureOf(renderDocument(xhtmlDocument(R"(<p id="t">x</p>)", R"(<title id="t">T</title>)"))),
              failure(FailureKind::ambiguousContent));
}

TEST(EPUBXHTMLLinks, LinksCoverTheirTextAndKeepTheReferenceAsWritten) {
    const EPUBRendered result = rendered(R"(<p>see <a href=" ch2.xhtml#p3 ">there</a> and <a>here</a>)"
                                         R"(<a href="empty.xhtml"></a> <a href="o">x<a href="i">y</a></a></p>)");
    EXPECT_EQ(result.text, u"see there and here xy\n"_s);
    EXPECT_EQ(result.links,
              (QList<EPUBRendered::Link>{{4, 9, u" ch2.xhtml#p3 "_s}, {20, 21, u"i"_s}, {19, 21, u"o"_s}}));
}

TEST(EPUBXHTMLDocument, TheRootIsAnXHTMLHtmlWithOneBodyThatMustShowTextWithinTheLimit) {
    const QByteArray html = R"(<html xmlns="http://www.w3.org/1999/xhtml">)";
    for (const QByteArray& document :
         QList<QByteArray>{R"(<body xmlns="http://www.w3.org/1999/xhtml">x</body>)", "<html><body>x</body></html>",
                           html + "<head/></html>", html + "<body>x</body><body>y</body></html>",
                           html + "<div><body>x</body></div></html>"}) {
        EXPECT_EQ(failureOf(renderDocument(document)), failure(FailureKind::invalidXML)) << document.toStdString();
    }
    // A body of another vocabulary does not count, and what is not the body is not read.
    EXPECT_EQ(renderDocument(html + R"(<body>x</body><body xmlns="urn:o"/><p>outside</p></html>)")
                  .value_or(EPUBRendered())
                  .text,
              u"x\n"_s);

    for (const QByteArray body : {" \n\t ", "<p>&#160;&#x3000;</p><br/><br/>", "<nav>toc</nav><style>s</style>"}) {
        EXPECT_EQ(renderFailure(body), failure(FailureKind::emptyContent)) << body.toStdString();
    }
    EXPECT_EQ(failureOf(renderDocument(html + R"(<body hidden="">x</body></html>)")),
              failure(FailureKind::emptyContent));

    // Spaces, markers, placeholders and every line of a grid count: "a\n\n" is three units.
    for (const auto& [body, length] : {std::pair<QByteArray, qsizetype>{"<p>abc</p>", 4},
                                       {"<ol><li>a b</li></ol>", 7},
                                       {"<img/>", 5},
                                       {"<table><tr><td>a</td><td/></tr></table>", 3}}) {
        EXPECT_EQ(renderFailure(body, length), std::nullopt) << body.toStdString();
        EXPECT_EQ(renderFailure(body, length - 1), exceeded(Limit::textUTF16)) << body.toStdString();
    }
    CancellationToken token;
    token.cancel();
    EXPECT_EQ(failureOf(EPUBXHTML(500'000, token).render(*xmlTree(xhtmlDocument("<p>a</p>")))), Failure::cancelled());
}

// --- tables ------------------------------------------------------------------------------------------------

QByteArray table(int rows, int cells, const QByteArray& cellAttributes = {}) {
    const QByteArray row = "<tr>" + QByteArray("<td" + cellAttributes + ">c</td>").repeated(cells) + "</tr>";
    return "<table>" + row.repeated(rows) + "</table>";
}

// Whether the table that `body` ends with was flattened; a grid's span is recorded last.
bool isFlattened(const QByteArray& body) {
    const EPUBRendered result = rendered(body);
    const bool flattened = result.notices.contains(Notice::tableFlattened);
    EXPECT_NE(flattened, !result.spans.isEmpty() && result.spans.last().kind == Kind::table) << body.toStdString();
    return flattened;
}

TEST(EPUBXHTMLTables, AGridLaysOutOneLinePerCellPaddingShortRowsAfterItsCaptions) {
    expectRenderings({
        {"<table><tr><th>A</th><th>B</th></tr><tr><td>1</td></tr></table>", u"A\nB\n1\n\n"_s,
         Spans{span(Kind::tableHeader, 0, 2), span(Kind::tableHeader, 2, 4), span(Kind::tableCell, 4, 6),
               span(Kind::tableCell, 6, 7), span(Kind::table, 0, 7, 2)}},
        // A cell ends its own line even after a block ended one.
        {"<p>x</p><table><tr><td> <p>a</p> </td><td>b <em>c</em> </td></tr></table>", u"x\na\n\nb c\n"_s,
         Spans{span(Kind::paragraph, 0, 2), span(Kind::paragraph, 2, 4), span(Kind::tableCell, 2, 5),
               span(Kind::emphasis, 7, 8), span(Kind::tableCell, 5, 9), span(Kind::table, 2, 9, 2)}},
        // Captions come first on their own lines, outside the table's span.
        {"text<table><tr><td>a</td></tr><caption>Cap <b>t</b> </caption><caption>Two</caption></table>",
         u"text\nCap t\nTwo\na\n"_s,
         Spans{span(Kind::strong, 9, 10), span(Kind::tableCell, 15, 17), span(Kind::table, 15, 17, 1)}},
        // Row groups keep their document order.
        {"<table><colgroup><col/><col/></colgroup><thead><tr><th>h</th></tr></thead>"
         "<tfoot><tr><td>f</td></tr></tfoot><tbody>\n <tr><td>b</td></tr> </tbody><tr><td>r</td></tr></table>",
         u"h\nf\nb\nr\n"_s,
         Spans{span(Kind::tableHeader, 0, 2), span(Kind::tableCell, 2, 4), span(Kind::tableCell, 4, 6),
               span(Kind::tableCell, 6, 8), span(Kind::table, 0, 8, 1)}},
        // The widest row sets the column count.
        {"<table><tr><td>c</td></tr><tr><td>c</td><td>c</td><td>c</td></tr></table>", u"c\n\n\nc\nc\nc\n"_s},
    });
    const EPUBRendered anchored = rendered(R"(<p>x</p><table id="t"><tbody id="g"><tr id="r1"><td id="c1">a</td>)"
                                           R"(<td id="c2"/></tr><tr id="r2"><td>b</td></tr></tbody></table><p>y</p>)");
    EXPECT_EQ(anchored.text, u"x\na\n\nb\n\ny\n"_s);
    EXPECT_EQ(anchored.anchors, (QHash<QString, qsizetype>{
                                    {u"t"_s, 2}, {u"g"_s, 2}, {u"r1"_s, 2}, {u"c1"_s, 2}, {u"c2"_s, 4}, {u"r2"_s, 5}}));
}

TEST(EPUBXHTMLTables, TablesThatAreNotPlainGridsWithinTheSizeLimitsAreFlattened) {
    EXPECT_FALSE(isFlattened(table(1, 32)));
    EXPECT_FALSE(isFlattened(table(80, 25)));  // exactly 2,000 cells
    EXPECT_FALSE(isFlattened(table(1, 1, R"( colspan="1" rowspan="1")")));
    const QList<QByteArray> flattened = {
        table(1, 33),
        table(67, 30),
        R"(<table><tr hidden=""><td>a</td></tr><tr><td>b</td></tr></table>)",
        "<table><tr><td>a</td></tr>stray<tr><td>b</td></tr></table>",
        "<table><tr><td>a</td></tr><div>b</div></table>",
        "<table><tbody><caption>c</caption><tr><td>a</td></tr></tbody></table>",
        "<table><tr><td>a</td><p>b</p></tr></table>",
        "<table><colgroup><col/>x</colgroup><tr><td>a</td></tr></table>",
        "<table><caption>only a caption</caption></table>",  // no rows, no columns
    };
    for (const QByteArray& body : flattened) EXPECT_TRUE(isFlattened(body)) << body.toStdString();
    // One as the span of a cell counts only as written.
    for (const QByteArray span :
         {R"( colspan="2")", R"( rowspan="3")", R"( colspan=" 1")", R"( rowspan="01")", R"( colspan="")"}) {
        EXPECT_TRUE(isFlattened(table(1, 2, span))) << span.toStdString();
    }
}

TEST(EPUBXHTMLTables, AFlattenedTableStartsLinesForRowsAndCellsAndFollowsTheRulesOfTheText) {
    expectRenderings({
        {R"(<table><caption>Cap</caption><thead><tr><th>a</th><th colspan="2">b</th></tr></thead>)"
         R"(<tr><td>c <b>d</b></td></tr></table>after)",
         u"Cap\na\nb\nc d\nafter\n"_s,
         Spans{span(Kind::strong, 10, 11)},
         {Notice::tableFlattened}},
        {"<p>x</p><table> </table>", u"x\n"_s, Spans{span(Kind::paragraph, 0, 2)}, {Notice::tableFlattened}},
        // A nested table flattens the outer one, whatever the inner one is, and keeps its own layout.
        {"<table><tr><td>out</td><td><table><tr><td>1</td><td>2</td></tr></table></td></tr></table>",
         u"out\n1\n2\n"_s,
         Spans{span(Kind::tableCell, 4, 6), span(Kind::tableCell, 6, 8), span(Kind::table, 4, 8, 2)},
         {Notice::tableFlattened}},
        {R"(<table><tr hidden=""><td>h</td></tr><tr><td><img/></td></tr></table>)",
         u"［画像］\n"_s,
         std::nullopt,
         {Notice::omittedHidden, Notice::imagePlaceholder, Notice::tableFlattened}},
    });
    EXPECT_EQ(renderFailure("<table><tr><td><script/></td></tr>stray</table>"),
              failure(FailureKind::unsupportedContent));
    // A cell of another vocabulary is no grid cell, and flattening then meets it as foreign content.
    EXPECT_EQ(renderFailure(R"(<table><tr><td xmlns="urn:other">a</td></tr></table>)"),
              failure(FailureKind::unsupportedContent));
}

}  // namespace
}  // namespace tavrine
