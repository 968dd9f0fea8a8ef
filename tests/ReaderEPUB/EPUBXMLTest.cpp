#include "ReaderEPUB/EPUBXML.h"
#include "ReaderEPUB/EPUBXMLNamespaces.h"

#include "EPUBXMLTestSupport.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Failure = EPUBReader::Failure;
using Kind = Failure::Kind;
using Limit = EPUBReader::ResourceLimit;
using Limits = EPUBReader::Limits;
using NodePointer = std::unique_ptr<EPUBXMLNode>;

EPUBReader::Result<NodePointer> parse(const QByteArray& bytes, const Limits& limits = Limits::standard(),
                                      EPUBXMLBudget* budget = nullptr,
                                      CancellationToken token = CancellationToken::none()) {
    EPUBXMLBudget own;
    return EPUBXML(limits, budget ? *budget : own, std::move(token)).parse(bytes);
}

// The failure of a parse, or nothing when it succeeded.
std::optional<Failure> failureOf(const QByteArray& bytes, const Limits& limits = Limits::standard(),
                                 EPUBXMLBudget* budget = nullptr) {
    auto result = parse(bytes, limits, budget);
    if (result) return std::nullopt;
    return result.error();
}

NodePointer parsed(const QByteArray& bytes) {
    auto result = parse(bytes);
    EXPECT_TRUE(result.has_value()) << (result ? "" : failureName(result.error()).toStdString()) << "\n"
                                    << bytes.toStdString();
    return result ? std::move(*result) : std::make_unique<EPUBXMLNode>(QString(), QString());
}

// <a>…</a> padded with text to exactly `size` bytes.
QByteArray documentOfSize(qsizetype size) {
    return "<a>" + QByteArray(size - 7, 'x') + "</a>";
}

QByteArray nested(int levels) {
    return QByteArray("<a>").repeated(levels) + QByteArray("</a>").repeated(levels);
}

const QByteArray kXHTML11 =
    R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.1//EN" "http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd">)";

// --- budgets ---------------------------------------------------------------------------------------

TEST(EPUBXMLBudgets, OneDocumentMayFillItsByteLimitButNotExceedIt) {
    const qint64 limit = Limits::standard().xmlBytes;
    EPUBXMLBudget budget;
    EXPECT_EQ(failureOf(documentOfSize(limit), Limits::standard(), &budget), std::nullopt);
    EXPECT_EQ(budget.bytes, limit);
    EXPECT_EQ(failureOf(documentOfSize(limit + 1), Limits::standard(), &budget), Failure::limit(Limit::xmlBytes));
    EXPECT_EQ(budget.bytes, limit);  // refused before it was charged
}

TEST(EPUBXMLBudgets, TheDocumentsOfOneImportShareOneByteBudgetThatIsNeverGivenBack) {
    Limits limits;
    limits.xmlBytes = 20;
    limits.totalXMLBytes = 60;
    EPUBXMLBudget budget;
    // A failing document is charged too.
    EXPECT_EQ(failureOf("<a>" + QByteArray(17, 'x'), limits, &budget), Failure::of(Kind::invalidXML));
    EXPECT_EQ(failureOf(documentOfSize(20), limits, &budget), std::nullopt);
    EXPECT_EQ(failureOf(documentOfSize(20), limits, &budget), std::nullopt);
    EXPECT_EQ(budget.bytes, 60);
    EXPECT_EQ(failureOf("<a/>", limits, &budget), Failure::limit(Limit::totalXMLBytes));
    EXPECT_EQ(budget.bytes, 64);
}

TEST(EPUBXMLBudgets, ElementStartsAndTextDeliveriesOfAllDocumentsCountAsNodes) {
    Limits limits;
    limits.nodes = 5;
    EPUBXMLBudget budget;
    // An element, a child element and a text: three nodes. White space outside the root is no delivery.
    EXPECT_EQ(failureOf("\n<a><b/>t</a>\n", limits, &budget), std::nullopt);
    EXPECT_EQ(budget.nodes, 3);
    EXPECT_EQ(failureOf("<a>t</a>", limits, &budget), std::nullopt);
    EXPECT_EQ(budget.nodes, 5);
    EXPECT_EQ(failureOf("<a/>", limits, &budget), Failure::limit(Limit::nodes));
    EXPECT_EQ(budget.nodes, 6);  // charged, then compared

    EPUBXMLBudget fresh;
    EXPECT_EQ(failureOf("<a>1<b/>2<b/>3</a>", limits, &fresh), Failure::limit(Limit::nodes));
}

TEST(EPUBXMLBudgets, OneHundredNestedLevelsAreTheDeepestAccepted) {
    EXPECT_EQ(failureOf(nested(100)), std::nullopt);
    EXPECT_EQ(failureOf(nested(101)), Failure::limit(Limit::depth));
    Limits shallow;
    shallow.depth = 2;
    EXPECT_EQ(failureOf(nested(2), shallow), std::nullopt);
    EXPECT_EQ(failureOf(nested(3), shallow), Failure::limit(Limit::depth));
}

TEST(EPUBXMLBudgets, ACancelledImportStopsBeforeChargingAnything) {
    CancellationToken token;
    token.cancel();
    EPUBXMLBudget budget;
    EXPECT_EQ(parse("<a/>", Limits::standard(), &budget, token).error(), Failure::cancelled());
    EXPECT_EQ(budget, EPUBXMLBudget());
}

// --- entities and document types -------------------------------------------------------------------

TEST(EPUBXMLSafety, EntityDeclarationsAreRefusedWhereverTheyStand) {
    const char* documents[] = {
        // The billion laughs.
        R"(<!DOCTYPE a [<!ENTITY l "ha"><!ENTITY l2 "&l;&l;&l;&l;&l;&l;&l;&l;&l;&l;">]><a>&l2;</a>)",
        R"(<!DOCTYPE a [<!ENTITY e SYSTEM "file:///etc/passwd">]><a>&e;</a>)",
        R"(<!DOCTYPE a [<!ENTITY % p SYSTEM "http://example.com/x.dtd"> %p;]><a/>)",
        // Even where it could do no harm.
        "<a><!-- <!ENTITY --></a>",
        "<a><![CDATA[<!ENTITY]]></a>",
    };
    for (const char* document : documents) {
        EXPECT_EQ(failureOf(document), Failure::of(Kind::unsafeXML)) << document;
    }
}

TEST(EPUBXMLSafety, OnlyTheListedDocumentTypesPass) {
    const char* allowed[] = {
        "<!DOCTYPE html><html/>",
        "<!DOCTYPE  html \n><html/>",
        R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.1//EN" "http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd"><html/>)",
        // Quotes chosen per literal; any of the three identifiers with any of the three locations.
        "<!DOCTYPE html PUBLIC '-//W3C//DTD XHTML 1.0 Strict//EN\"\n"
        "  \"https://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd' ><html/>",
        R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" 'http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd'><html/>)",
        R"(<?xml version="1.0"?><!DOCTYPE ncx PUBLIC "-//NISO//DTD ncx 2005-1//EN" "http://www.daisy.org/z3986/2005/ncx-2005-1.dtd"><ncx/>)",
    };
    for (const char* document : allowed) {
        EXPECT_EQ(failureOf(document), std::nullopt) << document;
    }

    const char* refused[] = {
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
    for (const char* document : refused) {
        EXPECT_EQ(failureOf(document), Failure::of(Kind::unsafeXML)) << document;
    }

    // The keyword in other case is not a declaration to this check; the parser refuses it.
    EXPECT_EQ(failureOf("<!doctype html><html/>"), Failure::of(Kind::invalidXML));
    EXPECT_EQ(failureOf("<!DOCTYPE html"), Failure::of(Kind::invalidXML));
}

TEST(EPUBXMLSafety, ASecondDeclarationCannotChangeHowTheBytesAreRead) {
    // After the first declaration is removed, the second one names EBCDIC, in which these four bytes
    // would read "<a/>": the parser must still read the text that was checked, as UTF-8.
    EXPECT_EQ(failureOf(QByteArray("<?xml version='1.0'?><?xml version='1.0' encoding='IBM037'?>\x4C\x81\x61\x6E")),
              Failure::of(Kind::invalidXML));
}

// --- encodings -------------------------------------------------------------------------------------

QByteArray utf16(const QString& text, bool bigEndian) {
    QByteArray bytes(bigEndian ? "\xFE\xFF" : "\xFF\xFE");
    for (QChar c : text) {
        const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return bytes;
}

TEST(EPUBXMLEncoding, BytesThatDoNotDecodeAreInvalid) {
    const QByteArray documents[] = {
        "<a>\xC0\xAF</a>",                              // overlong "/"
        "<a>\xED\xA0\x80</a>",                          // a surrogate in UTF-8
        "<a>\xF4\x90\x80\x80</a>",                      // above U+10FFFF
        "<a>\xE8\x8D</a>",                              // cut short
        utf16(u"<a/>"_s, false).append('\0'),           // odd length
        utf16(u"<a>\xD800</a>"_s, false),               // lone high surrogate
        utf16(u"<a>\xDC00</a>"_s, true),                // lone low surrogate
        utf16(u"<a/>"_s, false).append("\x00\xD8", 2),  // high surrogate at the end
    };
    for (const QByteArray& document : documents) {
        EXPECT_EQ(failureOf(document), Failure::of(Kind::invalidXML)) << document.toHex().toStdString();
    }
}

TEST(EPUBXMLEncoding, TheDeclaredEncodingMustMatchTheBytes) {
    const QString japanese = u"<a>草枕\U0001F4D6</a>"_s;
    struct Case {
        QByteArray bytes;
        bool accepted;
    };
    const Case cases[] = {
        {"<?xml version='1.0' encoding='UTF-8'?>" + japanese.toUtf8(), true},
        {"\xEF\xBB\xBF<?xml version=\"1.1\" encoding = \"utf-8\" ?>" + japanese.toUtf8(), true},
        {"<?xml version='1.0'?>" + japanese.toUtf8(), true},
        {"  <?xml version='1.0' encoding='UTF-8'?>" + japanese.toUtf8(), true},
        {"<?xml version='1.0' encoding='ISO-8859-1'?><a/>", false},
        {"<?xml version='1.0' encoding='UTF-16'?><a/>", false},
        {utf16(u"<?xml version='1.0' encoding='UTF-16LE'?>"_s + japanese, false), true},
        {utf16(u"<?xml version='1.0' encoding='utf-16'?>"_s + japanese, true), true},
        {utf16(japanese, true), true},
        {utf16(u"<?xml version='1.0' encoding='UTF-8'?><a/>"_s, false), false},
        {utf16(u"<?xml version='1.0' encoding='UTF-32'?><a/>"_s, true), false},
    };
    for (const Case& c : cases) {
        auto result = parse(c.bytes);
        EXPECT_EQ(result.has_value(), c.accepted) << c.bytes.toHex().toStdString();
        if (result) {
            EXPECT_EQ((*result)->text(), u"草枕\U0001F4D6"_s);
        }
    }
}

// --- named references ------------------------------------------------------------------------------

TEST(EPUBXMLReferences, XHTMLDocumentsMayUseTheNamesOfHTML) {
    const NodePointer root = parsed(kXHTML11 + R"(<html title="&copy;">&nbsp;&amp;&#x41;<!-- &nbsp; -->)"
                                               R"(<![CDATA[&nbsp;]]></html>)");
    EXPECT_EQ(root->attribute(u"title"), u"\u00A9"_s);
    EXPECT_EQ(root->text(), u"\u00A0&A&nbsp;"_s);

    EXPECT_EQ(failureOf(kXHTML11 + "<html>&bogus;</html>"), Failure::of(Kind::invalidXML));
    EXPECT_EQ(failureOf("<html>&nbsp;</html>"), Failure::of(Kind::invalidXML));
    EXPECT_EQ(failureOf("<!DOCTYPE html><html>&nbsp;</html>"), Failure::of(Kind::invalidXML));
}

// --- the tree --------------------------------------------------------------------------------------

TEST(EPUBXMLTree, KeysAttributesByNamespaceNameAndElementsByLocalName) {
    const NodePointer root = parsed(R"(<?xml version="1.0"?>
<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops" xml:lang="ja" class="c">
  <body><nav epub:type="toc  landmarks" id="n" xml:id="x"/><e:nav xmlns:e="http://www.idpf.org/2007/ops" e:type="toc"/></body>
</html>)");
    EXPECT_EQ(root->name(), u"html"_s);
    EXPECT_EQ(root->namespaceName(), EPUBXMLNamespace::xhtml);
    EXPECT_EQ(root->attribute(u"lang", EPUBXMLNamespace::xml), u"ja"_s);
    EXPECT_EQ(root->attribute(u"http://www.w3.org/XML/1998/namespace|lang"), u"ja"_s);
    EXPECT_EQ(root->attribute(u"lang"), std::nullopt);
    // An attribute without prefix keeps its plain name under a default namespace.
    EXPECT_EQ(root->attribute(u"class"), u"c"_s);
    EXPECT_EQ(root->attribute(u"class", EPUBXMLNamespace::xhtml), std::nullopt);

    const auto body = root->children(u"body", EPUBXMLNamespace::xhtml);
    ASSERT_EQ(body.size(), 1u);
    ASSERT_EQ(body[0]->elements().size(), 2u);
    const EPUBXMLNode* nav = body[0]->elements()[0];
    EXPECT_EQ(nav->epubTypes(), (QSet<QString>{u"toc"_s, u"landmarks"_s}));
    EXPECT_EQ(nav->identifier(), u"n"_s);  // "id" before xml:id
    EXPECT_EQ(body[0]->children(u"nav", EPUBXMLNamespace::xhtml).size(), 1u);
    const EPUBXMLNode* other = body[0]->elements()[1];
    EXPECT_EQ(other->namespaceName(), EPUBXMLNamespace::ops);
    EXPECT_EQ(other->attribute(u"type", EPUBXMLNamespace::ops), u"toc"_s);
    EXPECT_EQ(other->epubTypes(), QSet<QString>{u"toc"_s});  // whatever the prefix
    EXPECT_EQ(other->identifier(), std::nullopt);
    EXPECT_EQ(parsed("<a xml:id='x'/>")->identifier(), u"x"_s);
}

TEST(EPUBXMLTree, KeepsTextInDocumentOrderAndDropsCommentsAndInstructions) {
    const NodePointer root = parsed(
        "<?xml version='1.0'?><!-- before --><a>one<b>two<c/>three</b><!-- c --><?pi x?>four"
        "<![CDATA[<five>]]></a><!-- after -->");
    EXPECT_EQ(root->text(), u"onetwothreefour<five>"_s);
    ASSERT_EQ(root->content().size(), 4u);  // one, b, four, <five>
    EXPECT_EQ(root->content()[0].text(), u"one"_s);
    EXPECT_FALSE(root->content()[1].isText());
    EXPECT_EQ(root->content()[1].element()->text(), u"twothree"_s);
    EXPECT_EQ(root->content()[3].text(), u"<five>"_s);
}

TEST(EPUBXMLTree, FindsDescendantsInDocumentOrder) {
    const NodePointer root = parsed("<t><tr id='1'><tr id='2'/></tr><x><tr id='3' xmlns='n'/><tr id='4'/></x></t>");
    QStringList ids;
    for (const EPUBXMLNode* row : EPUBXMLNode::descendants(root->elements(), u"tr", u"")) ids << *row->identifier();
    EXPECT_EQ(ids, (QStringList{u"1"_s, u"2"_s, u"4"_s}));
}

TEST(EPUBXMLTree, StructuralFaultsAreInvalidAndXmlBaseIsUnsupported) {
    const char* invalid[] = {
        "",       "<!-- only a comment -->", "<a>",         "<a></b>",     "<a/><b/>", "<a/>text", "<a p:x='1'/>",
        "<p:a/>", "<a x='1' x='2'/>",        "<a>&#0;</a>", "<a>\x01</a>",
    };
    for (const char* document : invalid) {
        EXPECT_EQ(failureOf(document), Failure::of(Kind::invalidXML)) << document;
    }
    EXPECT_EQ(failureOf("<a><b xml:base='http://example.com/'/></a>"), Failure::of(Kind::unsupportedContent));
}

}  // namespace
}  // namespace tavrine
