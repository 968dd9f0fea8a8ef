#include "ReaderEPUB/internal/EPUBXHTMLEntities.h"

#include "EPUBTestSupport.h"
#include "support/HostileXML.h"

#include <QtConcurrent/QtConcurrentRun>

#include <chrono>
#include <cstring>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace test;
using Kind = Failure::Kind;

std::optional<Failure> xmlFailure(const QByteArray& bytes, const Limits& limits = {}, EPUBXMLBudget* budget = nullptr) {
    EPUBXMLBudget own;
    return failureOf(EPUBXML(limits, budget ? *budget : own, CancellationToken::none()).parse(bytes));
}

// <a>…</a> padded with text to exactly `size` bytes.
QByteArray documentOfSize(qsizetype size) {
    return "<a>" + QByteArray(size - 7, 'x') + "</a>";
}

QByteArray nested(int levels) {
    return QByteArray("<a>").repeated(levels) + QByteArray("</a>").repeated(levels);
}

QByteArray utf16(const QString& text, bool bigEndian) {
    QByteArray bytes(bigEndian ? "\xFE\xFF" : "\xFF\xFE");
    for (QChar c : text) {
        const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return bytes;
}

const QString xmlNamespace = u"http://www.w3.org/XML/1998/namespace"_s;

const QByteArray kXHTML11 =
    R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.1//EN" "http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd">)";

TEST(EPUBXMLBudgets, ADocumentMayFillItsByteLimitAndAllDocumentsShareOneBudgetNeverGivenBack) {
    EPUBXMLBudget budget;
    EXPECT_EQ(xmlFailure(documentOfSize(Limits().xmlBytes), {}, &budget), std::nullopt);
    EXPECT_EQ(xmlFailure(documentOfSize(Limits().xmlBytes + 1), {}, &budget), exceeded(Limit::xmlBytes));
    EXPECT_EQ(budget.bytes, Limits().xmlBytes);  // refused before it was charged

    Limits limits;
    limits.totalXMLBytes = 60;
    budget = {};
    // A failing document is charged too.
    EXPECT_EQ(xmlFailure("<a>" + QByteArray(17, 'x'), limits, &budget), failure(Kind::invalidXML));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(xmlFailure(documentOfSize(20), limits, &budget), std::nullopt);
    EXPECT_EQ(xmlFailure("<a/>", limits, &budget), exceeded(Limit::totalXMLBytes));
    EXPECT_EQ(budget.bytes, 64);
}

TEST(EPUBXMLBudgets, ElementStartsAndTextDeliveriesOfAllDocumentsCountAsNodes) {
    Limits limits;
    limits.nodes = 5;
    EPUBXMLBudget budget;
    // An element, a child element and a text: three nodes. White space outside the root is no delivery.
    EXPECT_EQ(xmlFailure("\n<a><b/>t</a>\n", limits, &budget), std::nullopt);
    EXPECT_EQ(xmlFailure("<a>t</a>", limits, &budget), std::nullopt);
    EXPECT_EQ(budget.nodes, 5);
    EXPECT_EQ(xmlFailure("<a/>", limits, &budget), exceeded(Limit::nodes));
    EXPECT_EQ(xmlFailure("<a>1<b/>2<b/>3</a>", limits), exceeded(Limit::nodes));
}

TEST(EPUBXMLBudgets, OneHundredNestedLevelsAreTheDeepestAcceptedAndCancellationChargesNothing) {
    EXPECT_EQ(xmlFailure(nested(100)), std::nullopt);
    EXPECT_EQ(xmlFailure(nested(101)), exceeded(Limit::depth));
    Limits shallow;
    shallow.depth = 2;
    EXPECT_EQ(xmlFailure(nested(2), shallow), std::nullopt);
    EXPECT_EQ(xmlFailure(nested(3), shallow), exceeded(Limit::depth));

    CancellationToken token;
    token.cancel();
    EPUBXMLBudget budget;
    EXPECT_EQ(failureOf(EPUBXML({}, budget, token).parse("<a/>")), Failure::cancelled());
    EXPECT_EQ(budget, EPUBXMLBudget());
}

// Nested elements that together make `count` namespace declarations, as many per tag as allowed.
QByteArray declaringElements(int count) {
    QByteArray open, close;
    for (int first = 0; first < count; first += 256) {
        QByteArray element = tagWithAttributes("e", std::min(256, count - first), std::min(256, count - first), first);
        element.chop(2);
        open += element + ">";
        close += "</e>";
    }
    return "<r>" + open + close + "</r>";
}

TEST(EPUBXMLBudgets, AStartTagHoldsAt256AttributesWithItsDeclarationsAndADocument1024Declarations) {
    EXPECT_EQ(xmlFailure(tagWithAttributes("a", 256)), std::nullopt);
    EXPECT_EQ(xmlFailure(tagWithAttributes("a", 256, 100)), std::nullopt);
    EXPECT_EQ(xmlFailure(tagWithAttributes("a", 257)), exceeded(Limit::nodes));
    EXPECT_EQ(xmlFailure(tagWithAttributes("a", 257, 1)), exceeded(Limit::nodes));
    EXPECT_EQ(xmlFailure("<r>" + tagWithAttributes("a", 256).repeated(3) + "</r>"), std::nullopt);

    EXPECT_EQ(xmlFailure(declaringElements(1'024)), std::nullopt);
    EXPECT_EQ(xmlFailure(declaringElements(1'025)), exceeded(Limit::nodes));
    // Every declaration counts, the default namespace's too, however few are in scope at once.
    const QByteArray siblings = QByteArray("<e xmlns='urn:d'/>").repeated(1'024);
    EXPECT_EQ(xmlFailure("<r>" + siblings + "</r>"), std::nullopt);
    EXPECT_EQ(xmlFailure("<r xmlns:p='urn:p'>" + siblings + "</r>"), exceeded(Limit::nodes));

    // Refused on the text, before the parser charged a node.
    EPUBXMLBudget budget;
    EXPECT_EQ(xmlFailure("<r><a/>" + tagWithAttributes("b", 257) + "</r>", {}, &budget), exceeded(Limit::nodes));
    EXPECT_EQ(budget.nodes, 0);
}

TEST(EPUBXMLBudgets, AttributesAreCountedInTagsOnlyAndQuotedValuesAreSkippedWhole) {
    const QByteArray many = tagWithAttributes("b", 300);
    const QByteArray outsideTags[] = {
        "<a><!-- " + many + " --></a>",
        "<a><![CDATA[" + many + "]]></a>",
        "<?pi " + many + "?><a/>",
        // A ">" in a value ends no tag, and what a value holds is no attribute.
        "<a t='>" + QByteArray(many).replace("<", "&lt;") + "'/>",
        R"(<a t=")" + QByteArray(" x=''").repeated(300) + R"("/>)",
        // Text may hold ">" and look like attributes.
        "<a>" + QByteArray(" x='' >").repeated(300) + "</a>",
    };
    for (const QByteArray& document : outsideTags) {
        EXPECT_EQ(xmlFailure(document), std::nullopt) << document.left(60).toStdString();
    }
    QByteArray spaced = "<a";
    for (int i = 0; i < 257; ++i) spaced += "\n\tx" + QByteArray::number(i) + (i % 2 ? " = '>'" : "=\"/>\"");
    EXPECT_EQ(xmlFailure(spaced + "/>"), exceeded(Limit::nodes));
    // Past the end of a comment the count goes on.
    EXPECT_EQ(xmlFailure("<a><!-- x --><b x='-->'/>" + tagWithAttributes("c", 257) + "</a>"), exceeded(Limit::nodes));
    // The bound also refuses what the parser would refuse later.
    EXPECT_EQ(xmlFailure("<a>" + tagWithAttributes("c", 257) + "</b>"), exceeded(Limit::nodes));
}

TEST(EPUBXMLBudgets, ACancelDuringTheCostliestParseTheBoundsAllowIsHonoured) {
    for (const QByteArray& document :
         {attributeBoundDocument(Limits().xmlBytes), namespaceBoundDocument(Limits().xmlBytes, 3'000)}) {
        CancellationToken token;
        std::atomic_bool started = false;
        QFuture<std::optional<Failure>> parse = QtConcurrent::run([&] {
            started = true;
            EPUBXMLBudget budget;
            return failureOf(EPUBXML({}, budget, token).parse(document));
        });
        while (!started) std::this_thread::yield();
        token.cancel();
        // A generous deadline, only so that a broken build cannot hang the suite.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!parse.isFinished() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        ASSERT_TRUE(parse.isFinished());
        EXPECT_EQ(parse.result(), Failure::cancelled());
    }
}

TEST(EPUBXMLSafety, EntityDeclarationsAndUnlistedDocumentTypesAreRefused) {
    const char* refused[] = {
        // The billion laughs, external entities, and declarations even where they could do no harm.
        R"(<!DOCTYPE a [<!ENTITY l "ha"><!ENTITY l2 "&l;&l;&l;&l;&l;&l;&l;&l;&l;&l;">]><a>&l2;</a>)",
        R"(<!DOCTYPE a [<!ENTITY e SYSTEM "file:///etc/passwd">]><a>&e;</a>)",
        R"(<!DOCTYPE a [<!ENTITY % p SYSTEM "http://example.com/x.dtd"> %p;]><a/>)",
        "<a><!-- <!ENTITY --></a>",
        "<a><![CDATA[<!ENTITY]]></a>",
        R"(<!DOCTYPE html SYSTEM "about:legacy-compat"><html/>)",
        "<!DOCTYPE html [ ]><html/>",
        "<!DOCTYPE html><!DOCTYPE html><html/>",
        "<!DOCTYPE HTML><html/>",
        "<!DOCTYPEhtml><html/>",
        R"(<!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.1//EN" "http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd"><svg/>)",
        R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.1//EN" "ftp://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd"><html/>)",
        R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.1//EN" "http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd" [ ]><html/>)",
        R"(<!DOCTYPE ncx PUBLIC "-//W3C//DTD XHTML 1.1//EN" "http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd"><ncx/>)",
        // A declaration joined together by removing the first one.
        "<!DOC<!DOCTYPE html>TYPE html><html/>",
    };
    for (const char* document : refused) EXPECT_EQ(xmlFailure(document), failure(Kind::unsafeXML)) << document;

    const char* allowed[] = {
        "<!DOCTYPE html><html/>",
        "<!DOCTYPE  html \n><html/>",
        // Quotes chosen per literal; any of the three identifiers with any of the three locations.
        "<!DOCTYPE html PUBLIC '-//W3C//DTD XHTML 1.0 Strict//EN\"\n"
        "  \"https://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd' ><html/>",
        R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" 'http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd'><html/>)",
        R"(<?xml version="1.0"?><!DOCTYPE ncx PUBLIC "-//NISO//DTD ncx 2005-1//EN" "http://www.daisy.org/z3986/2005/ncx-2005-1.dtd"><ncx/>)",
    };
    for (const char* document : allowed) EXPECT_EQ(xmlFailure(document), std::nullopt) << document;
    // The keyword in other case is not a declaration to this check; the parser refuses it.
    EXPECT_EQ(xmlFailure("<!doctype html><html/>"), failure(Kind::invalidXML));
    EXPECT_EQ(xmlFailure("<!DOCTYPE html"), failure(Kind::invalidXML));
}

TEST(EPUBXMLEncoding, BytesMustDecodeStrictlyAsTheEncodingTheyDeclare) {
    const QByteArray invalid[] = {
        "<a>\xC0\xAF</a>",                              // overlong "/"
        "<a>\xED\xA0\x80</a>",                          // a surrogate in UTF-8
        "<a>\xF4\x90\x80\x80</a>",                      // above U+10FFFF
        "<a>\xE8\x8D</a>",                              // cut short
        utf16(u"<a/>"_s, false).append('\0'),           // odd length
        utf16(u"<a>\xD800</a>"_s, false),               // lone high surrogate
        utf16(u"<a>\xDC00</a>"_s, true),                // lone low surrogate
        utf16(u"<a/>"_s, false).append("\x00\xD8", 2),  // high surrogate at the end
        "<?xml version='1.0' encoding='ISO-8859-1'?><a/>",
        "<?xml version='1.0' encoding='UTF-16'?><a/>",
        utf16(u"<?xml version='1.0' encoding='UTF-8'?><a/>"_s, false),
        utf16(u"<?xml version='1.0' encoding='UTF-32'?><a/>"_s, true),
        // After the first declaration is removed, the second names EBCDIC, in which the last four
        // bytes would read "<a/>": the parser must still read the text that was checked, as UTF-8.
        "<?xml version='1.0'?><?xml version='1.0' encoding='IBM037'?>\x4C\x81\x61\x6E",
    };
    for (const QByteArray& document : invalid) {
        EXPECT_EQ(xmlFailure(document), failure(Kind::invalidXML)) << document.toHex().toStdString();
    }
    const QString japanese = u"<a>草枕\U0001F4D6</a>"_s;
    const QByteArray valid[] = {
        "<?xml version='1.0' encoding='UTF-8'?>" + japanese.toUtf8(),
        "\xEF\xBB\xBF<?xml version=\"1.1\" encoding = \"utf-8\" ?>" + japanese.toUtf8(),
        "  <?xml version='1.0'?>" + japanese.toUtf8(),
        utf16(u"<?xml version='1.0' encoding='UTF-16LE'?>"_s + japanese, false),
        utf16(u"<?xml version='1.0' encoding='utf-16'?>"_s + japanese, true),
        utf16(japanese, true),
    };
    for (const QByteArray& document : valid) EXPECT_EQ(xmlTree(document)->text(), u"草枕\U0001F4D6"_s);
}

TEST(EPUBXMLTree, KeepsTextAndFindsDescendantsInDocumentOrderAndRefusesStructuralFaults) {
    const auto root =
        xmlTree(QByteArray("<?xml version='1.0'?><!-- before --><a>one<b>two<c/>three</b><!-- c --><?pi x?>four"
                           "<![CDATA[<five>]]></a><!-- after -->"));
    EXPECT_EQ(root->text(), u"onetwothreefour<five>"_s);
    ASSERT_EQ(root->content().size(), 4u);  // one, b, four, <five>
    EXPECT_EQ(root->content()[1].element()->text(), u"twothree"_s);
    QStringList rows;
    const auto table =
        xmlTree(QByteArray("<t><tr id='1'><tr id='2'/></tr><x><tr id='3' xmlns='n'/><tr id='4'/></x></t>"));
    for (const EPUBXMLNode* row : EPUBXMLNode::descendants(table->elements(), u"tr", u"")) rows << *row->identifier();
    EXPECT_EQ(rows, (QStringList{u"1"_s, u"2"_s, u"4"_s}));  // in document order, of one namespace

    const char* invalid[] = {
        "",       "<!-- only a comment -->", "<a>",         "<a></b>",     "<a/><b/>", "<a/>text", "<a p:x='1'/>",
        "<p:a/>", "<a x='1' x='2'/>",        "<a>&#0;</a>", "<a>\x01</a>",
    };
    for (const char* document : invalid) EXPECT_EQ(xmlFailure(document), failure(Kind::invalidXML)) << document;
    EXPECT_EQ(xmlFailure("<a><b xml:base='http://example.com/'/></a>"), failure(Kind::unsupportedContent));
}

TEST(EPUBXMLNamespaces, PrefixesResolveThroughTheDeclarationsInScopeAndDeclarationsAreNoAttributes) {
    const auto root = xmlTree(QByteArray(
        "<r xmlns='urn:d' xmlns:p='urn:p' a='1' p:a='2' xml:lang='ja'>"
        "<p:e p:x='3'/><e xmlns='' xmlns:p='urn:q' p:x='4'/><e xmlns:xml='http://www.w3.org/XML/1998/namespace'/>"
        "<p:e/></r>"));
    EXPECT_TRUE(root->is(u"r", u"urn:d"));
    // The default namespace is not an attribute's.
    EXPECT_EQ(root->attributes(),
              (std::vector<EPUBXMLNode::Attribute>{
                  {{}, u"a"_s, u"1"_s}, {u"urn:p"_s, u"a"_s, u"2"_s}, {xmlNamespace, u"lang"_s, u"ja"_s}}));
    const EPUBXMLNode::Elements children = root->elements();
    ASSERT_EQ(children.size(), 4u);
    EXPECT_TRUE(children[0]->is(u"e", u"urn:p"));
    EXPECT_EQ(children[0]->attribute(u"x", u"urn:p"), u"3"_s);
    // An inner declaration shadows the outer one within its element only.
    EXPECT_TRUE(children[1]->is(u"e", u""));
    EXPECT_EQ(children[1]->attribute(u"x", u"urn:q"), u"4"_s);
    EXPECT_TRUE(children[2]->is(u"e", u"urn:d"));
    EXPECT_TRUE(children[3]->is(u"e", u"urn:p"));

    const char* invalid[] = {
        "<r><e xmlns:p='urn:p'/><p:e/></r>",  // declared on a sibling
        "<r><e xmlns:p='urn:p'/><e p:x='1'/></r>",
        "<r xmlns:p=''/>",
        "<r xmlns:xmlns='urn:x'/>",
        "<xmlns:r/>",
        "<r xmlns:xml='urn:x'/>",
        "<r xmlns:p='http://www.w3.org/XML/1998/namespace'/>",
        "<r xmlns='http://www.w3.org/XML/1998/namespace'/>",
        "<r xmlns:p='http://www.w3.org/2000/xmlns/'/>",
        "<r xmlns:p='urn:p' xmlns:p='urn:q'/>",
        // One name in one namespace through two prefixes.
        "<r xmlns:p='urn:s' xmlns:q='urn:s' p:x='1' q:x='2'/>",
        "<r xmlns:p='urn:s'><e xmlns:q='urn:s' p:x='1' q:x='2'/></r>",
        "<r a:b:c='1'/>",
    };
    for (const char* document : invalid) EXPECT_EQ(xmlFailure(document), failure(Kind::invalidXML)) << document;
    EXPECT_EQ(xmlFailure("<r xmlns:p='urn:s' xmlns:q='urn:t' p:x='1' q:x='2' x='3'/>"), std::nullopt);
}

TEST(EPUBXMLTree, AnEmptyEntryIsRefusedLikeAnyDocumentWithoutARoot) {
    // What an empty entry of an archive reads as: no bytes, not even a place for them.
    EXPECT_EQ(xmlFailure(QByteArray()), failure(Kind::invalidXML));
    EXPECT_EQ(failureOf(importBook(TestEPUBBuilder().setFile(u"META-INF/container.xml"_s, {}))),
              failure(Kind::invalidXML));
    EXPECT_EQ(failureOf(importBook(TestEPUBBuilder().setFile(QString::fromLatin1(TestEPUBBuilder::kChapterPath), {}))),
              failure(Kind::invalidXML));
}

TEST(EPUBXMLTree, ATagPastTheAttributeBoundFailsTheWholeImport) {
    const QString tag = QString::fromUtf8(tagWithAttributes("p", 257));
    EXPECT_EQ(failureOf(importBook(bookWithChapters({{u"c1"_s, u"<p>a</p>"_s}, {u"c2"_s, tag}}))),
              exceeded(Limit::nodes));
    EXPECT_TRUE(importBook(bookWithChapters({{u"c1"_s, QString::fromUtf8(tagWithAttributes("p", 256)) + u"x"_s}})));
}

TEST(EPUBXHTMLEntities, XHTMLDocumentsMayUseTheHTMLNamesOutsideCommentsCDATAAndInstructions) {
    const auto root = xmlTree(QByteArray(kXHTML11 + R"(<html title="&copy;">&nbsp;&amp;&#x41;<!-- &nbsp; -->)"
                                                    R"(<![CDATA[&nbsp;]]></html>)"));
    EXPECT_EQ(root->attribute(u"title"), u"\u00A9"_s);
    EXPECT_EQ(root->text(), u"\u00A0&A&nbsp;"_s);
    EXPECT_EQ(xmlFailure(kXHTML11 + "<html>&bogus;</html>"), failure(Kind::invalidXML));
    EXPECT_EQ(xmlFailure("<html>&nbsp;</html>"), failure(Kind::invalidXML));
    EXPECT_EQ(xmlFailure("<!DOCTYPE html><html>&nbsp;</html>"), failure(Kind::invalidXML));
}

TEST(EPUBXHTMLEntities, AnOpenerReachesToItsFirstTerminatorOrIsPlainText) {
    struct Case {
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"<p title=\"&copy;\">&hellip;</p>", "<p title=\"\u00A9\">\u2026</p>"},
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
    const auto replaced = [](const QByteArray& text) {
        return EPUBXHTMLEntities::replaceNamedEntities(text, CancellationToken::none()).value_or("failed");
    };
    for (const Case& c : cases) EXPECT_EQ(replaced(c.input), QByteArray(c.expected)) << c.input;
    // Megabytes of openers without terminators: each is text, so the reference after them is replaced.
    for (const char* opener : {"<!--", "<?", "<![CDATA["}) {
        const QByteArray text = QByteArray(opener).repeated(4 * 1024 * 1024 / qsizetype(strlen(opener))) + "&nbsp;";
        EXPECT_EQ(replaced(text), text.chopped(6) + "\u00A0") << opener;
    }
    CancellationToken token;
    token.cancel();
    EXPECT_EQ(failureOf(EPUBXHTMLEntities::replaceNamedEntities(QByteArray(200'000, 'x'), token)),
              Failure::cancelled());
}

}  // namespace
}  // namespace tavrine
