#include "ReaderEPUB/EPUBXML.h"
#include "ReaderEPUB/EPUBXMLNamespaces.h"

#include "EPUBRealBookSupport.h"
#include "EPUBXMLTestSupport.h"
#include "support/QtPrinters.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>
#include <QFile>

#include <algorithm>
#include <map>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

TEST(EPUBXMLRealBook, EveryXMLDocumentOfAPublishedBookParsesUnderOneBudget) {
    const QString path = test::sharedDataFile(u"epub/kusamakura.epub"_s);
    TAVRINE_SKIP_WITHOUT(path, "epub/kusamakura.epub");
    const auto documents = test::archiveEntries(path, {".xml", ".opf", ".ncx", ".xhtml"});
    ASSERT_GE(documents.size(), 19u);

    EPUBXMLBudget budget;
    qint64 bytes = 0;
    std::map<QString, std::unique_ptr<EPUBXMLNode>> roots;
    for (const auto& [name, data] : documents) {
        auto root = EPUBXML(EPUBReader::Limits::standard(), budget, CancellationToken::none()).parse(data);
        ASSERT_TRUE(root.has_value()) << name << ": " << failureName(root.error());
        roots.emplace(name, std::move(*root));
        bytes += data.size();
    }
    EXPECT_EQ(budget.bytes, bytes);
    EXPECT_GT(budget.nodes, 20'000);

    const EPUBXMLNode& container = *roots.at(u"META-INF/container.xml"_s);
    EXPECT_EQ(container.namespaceName(), EPUBXMLNamespace::container);
    const EPUBXMLNode& package = *roots.at(u"OPS/package.opf"_s);
    EXPECT_EQ(package.name(), u"package"_s);
    EXPECT_EQ(package.children(u"metadata", EPUBXMLNamespace::opf).size(), 1u);
    // The NCX names its elements through a prefix; only the namespace counts.
    const EPUBXMLNode& ncx = *roots.at(u"OPS/xhtml/toc.ncx"_s);
    EXPECT_EQ(ncx.name(), u"ncx"_s);
    EXPECT_EQ(ncx.namespaceName(), EPUBXMLNamespace::ncx);

    const EPUBXMLNode& contents = *roots.at(u"OPS/xhtml/目次.xhtml"_s);
    EXPECT_EQ(contents.attribute(u"lang", EPUBXMLNamespace::xml), u"ja"_s);
    const auto navs = EPUBXMLNode::descendants(contents.elements(), u"nav", EPUBXMLNamespace::xhtml);
    EXPECT_TRUE(std::any_of(navs.begin(), navs.end(),
                            [](const EPUBXMLNode* nav) { return nav->epubTypes().contains(u"toc"_s); }));
    // Ruby text joins its base with nothing between.
    EXPECT_TRUE(roots.at(u"OPS/xhtml/一.xhtml"_s)->text().contains(u"智ちに働けば角かどが立つ。"_s));
}

}  // namespace
}  // namespace tavrine
