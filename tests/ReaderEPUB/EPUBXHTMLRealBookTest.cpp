#include "ReaderEPUB/EPUBArchive.h"

#include "EPUBXHTMLTestSupport.h"
#include "support/RawZipBuilder.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>
#include <QFile>

#include <map>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Notice = EPUBBook::Notice::Kind;
using Kind = ReadingDocument::Span::Kind;

// Every XHTML document of a published book, rendered with the whole book's budget each.
std::map<QString, EPUBReader::Result<EPUBRendered>> renderBook(const QString& path) {
    std::map<QString, EPUBReader::Result<EPUBRendered>> result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return result;
    QByteArray bytes = file.readAll();
    test::setUTF8NameFlags(bytes);  // its Japanese names are UTF-8 without the flag
    auto files = readArchive(bytes, EPUBReader::Limits::standard(), CancellationToken::none());
    EXPECT_TRUE(files.has_value()) << (files ? "" : failureName(files.error()).toStdString());
    if (!files) return result;
    EPUBXMLBudget budget;
    for (auto entry = files->constBegin(); entry != files->constEnd(); ++entry) {
        if (!entry.key().endsWith(u".xhtml"_s)) continue;
        auto root = EPUBXML(EPUBReader::Limits::standard(), budget, CancellationToken::none()).parse(entry.value());
        if (!root) {
            result.emplace(entry.key(), tl::unexpected(root.error()));
            continue;
        }
        result.emplace(entry.key(), EPUBXHTML(500'000, CancellationToken::none()).render(**root));
    }
    return result;
}

TEST(EPUBXHTMLRealBook, EveryDocumentOfAPublishedJapaneseBookRendersWithoutItsRubyReadings) {
    const QString path = test::sharedDataFile(u"epub/kusamakura.epub"_s);
    TAVRINE_SKIP_WITHOUT(path, "epub/kusamakura.epub");
    const auto documents = renderBook(path);
    ASSERT_EQ(documents.size(), 16u);
    qsizetype total = 0;
    for (const auto& [name, rendered] : documents) {
        ASSERT_TRUE(rendered.has_value()) << name << ": " << failureName(rendered.error());
        EXPECT_TRUE(rendered->text.endsWith(u'\n')) << name;
        EXPECT_FALSE(rendered->text.contains(u"\n\n"_s)) << name;
        for (const auto& span : rendered->spans) {
            EXPECT_TRUE(span.start < span.end && span.end <= rendered->text.size()) << name;
        }
        total += rendered->text.size();
    }
    EXPECT_GT(total, 90'000);  // the novel is some 95,000 characters long

    const EPUBRendered& first = *documents.at(u"OPS/xhtml/一.xhtml"_s);
    EXPECT_EQ(first.title, u"一"_s);
    EXPECT_TRUE(
        first.text.startsWith(u"一\n山路を登りながら、こう考えた。\n智に働けば角が立つ。情に棹させば流される。"_s))
        << first.text.left(80);
    EXPECT_EQ(first.notices, std::set<Notice>{Notice::rubyAnnotationOmitted});
    EXPECT_EQ(first.spans.first(), test::span(Kind::heading, 0, 2, 2));
    EXPECT_EQ(first.anchors.value(u"fgyq_0002"_s), 2);
    EXPECT_EQ(first.anchors.value(u"fgyq_0003"_s), 18);

    const EPUBRendered& cover = *documents.at(u"OPS/xhtml/表紙.xhtml"_s);
    EXPECT_EQ(cover.title, u"草枕"_s);
    EXPECT_TRUE(cover.text.startsWith(
        u"［画像：ロゴマーク:総務省 Let's 書デジ］\n草枕\n夏目漱石\n［画像：著者肖像:夏目漱石］\n"_s))
        << cover.text.left(80);
    EXPECT_EQ(cover.notices, std::set<Notice>{Notice::imagePlaceholder});

    // The navigation document keeps its heading only.
    const EPUBRendered& contents = *documents.at(u"OPS/xhtml/目次.xhtml"_s);
    EXPECT_EQ(contents.text, u"目次\n"_s);
    EXPECT_EQ(contents.notices, std::set<Notice>{Notice::omittedNavigation});

    const EPUBRendered& back = *documents.at(u"OPS/xhtml/後付.xhtml"_s);
    ASSERT_FALSE(back.links.isEmpty());
    EXPECT_EQ(back.links.first().reference, u"http://www.aozora.gr.jp/cards/000148/card776.html"_s);
    EXPECT_EQ(back.text.mid(back.links.first().start, back.links.first().end - back.links.first().start),
              back.links.first().reference);
    EXPECT_TRUE(back.text.contains(u"\n• 文字コードを Shift-JIS から UTF-8 に変更\n"_s));
}

}  // namespace
}  // namespace tavrine
