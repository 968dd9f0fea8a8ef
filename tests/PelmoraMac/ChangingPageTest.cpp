#include "PelmoraMac/Capture/AXSelectionReader.h"

#include "CaptureTesting.h"
#include "ScriptedAccessibilityBus.h"
#include "SelectionCapture.h"
#include "SelectionTesting.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::failureOf;
using test::kPage;
using test::pageAt;
using test::ScriptedAccessibleTree;
using test::SelectionCapture;

// A page of paragraphs, each followed by a box of two small paragraphs that the page empties and fills again
// (a carousel, a ticker, captions that come and go). The bus leaves the boxes out, as both browsers leave a
// <div> without attributes out: their paragraphs are the page's own objects, and an empty box is nothing. Each
// filling makes new objects, as a browser does.
class BoxedPage {
public:
    static constexpr int kParagraphs = 20;

    explicit BoxedPage(bool full) : m_tree(pageAt(kPage)) {
        for (int paragraph = 1; paragraph <= kParagraphs; ++paragraph)
            add(u"/p"_s + QString::number(paragraph), paragraphText(paragraph));
        add(u"/closing"_s, u"結びの段落です。"_s);
        show(full);
    }

    static QString paragraphText(int paragraph) { return u"第%1段落です。"_s.arg(paragraph); }
    static QString boxText(int paragraph, QChar which) { return u"%1番の箱の%2段落。"_s.arg(paragraph).arg(which); }

    // The page's lines with its boxes full, or empty.
    static QStringList lines(bool full) {
        QStringList lines;
        for (int paragraph = 1; paragraph <= kParagraphs; ++paragraph) {
            lines.append(paragraphText(paragraph));
            if (full) lines << boxText(paragraph, u'上') << boxText(paragraph, u'下');
        }
        return lines << u"結びの段落です。"_s;
    }

    const ScriptedAccessibleTree& tree() const { return m_tree; }
    // The page as it shows nothing selected, in none of its objects either.
    ScriptedAccessibleTree unselected() const {
        ScriptedAccessibleTree tree = m_tree;
        unselect(tree);
        return tree;
    }
    static void unselect(ScriptedAccessibleTree& tree) {
        for (test::ScriptedNode& node : tree.nodes) node.selections.clear();
    }

    // Empties the boxes or fills them with new objects, and selects the whole page again.
    void show(bool full) { show(m_tree, full); }
    void show(ScriptedAccessibleTree& tree, bool full) {
        ++m_fillings;
        tree.nodes.removeIf([](const test::ScriptedNode& node) { return node.path.startsWith(u"/box"_s); });
        QStringList objects;
        for (int paragraph = 1; paragraph <= kParagraphs; ++paragraph) {
            objects.append(u"/p"_s + QString::number(paragraph));
            for (const QChar which : {u'上', u'下'}) {
                if (!full) continue;
                const QString path = u"/box%1/%2/%3"_s.arg(m_fillings).arg(paragraph).arg(which);
                tree.nodes.append(paragraphNode(path, boxText(paragraph, which)));
                objects.append(path);
            }
        }
        objects.append(u"/closing"_s);
        test::ScriptedNode* page = tree.node(u"/page"_s);
        page->embedded = objects;
        page->text = QString(objects.size(), QChar(kObjectReplacementCharacter));
        page->selections = {{0, int(objects.size())}};
        for (const QString& object : std::as_const(objects)) {
            test::ScriptedNode* node = tree.node(object);
            node->selections = {{0, test::codePointCount(*node->text)}};
        }
    }

private:
    static test::ScriptedNode paragraphNode(const QString& path, const QString& text) {
        return {.path = path,
                .role = test::kParagraphRole,
                .parent = u"/page"_s,
                .text = text,
                .selections = {{0, test::codePointCount(text)}},
                .attributes = {{u"tag"_s, u"p"_s}, {u"display"_s, u"block"_s}}};
    }
    void add(const QString& path, const QString& text) { m_tree.nodes.append(paragraphNode(path, text)); }

    ScriptedAccessibleTree m_tree;
    int m_fillings = 0;
};

QStringList linesOf(const SelectionCapture& capture) {
    return capture.desktop.requests.value(0).text.value_or(QString()).split(u'\n', Qt::SkipEmptyParts);
}

// A capture of the page with its boxes all full or all empty, or refused as a page that changed.
void expectOneStateOrChanged(const CaptureResult<PreparedCapture>& read, const SelectionCapture& capture) {
    if (!read) {
        EXPECT_EQ(read.error(), CaptureFailure::sourceChanged);
        return;
    }
    EXPECT_TRUE(linesOf(capture) == BoxedPage::lines(true) || linesOf(capture) == BoxedPage::lines(false))
        << linesOf(capture).join(u'|').toStdString();
}

// The page's boxes emptied or filled, a paragraph rewritten or given a picture between two of the reading's
// questions: what is stored is the page as it stood at one moment, read again where it changed under the
// reading, never a paragraph missing or read twice; a page that never holds still is refused as changed.
TEST(ChangingPage, APageIsStoredAsOneStateOfItOrNotAtAll) {
    // Its boxes filled after the selection's range was told by the empty page's objects, before the page's text
    // over that range is read: the range is told again and the full page read whole.
    {
        BoxedPage page(false);
        SelectionCapture filled(page.tree());
        int pageTexts = 0;
        filled.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
            if (method == u"GetText"_s && path == u"/page"_s && ++pageTexts == 2) page.show(tree, true);
        };
        const auto read = filled.run(true, std::nullopt);
        ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
        EXPECT_EQ(linesOf(filled), BoxedPage::lines(true));
    }
    // Its boxes emptied and filled whenever the page's text is read, or whenever one of its paragraphs is: each
    // capture the whole page in one of its states, or refused.
    for (const QString& changesAt : {u"/page"_s, u"/p3"_s}) {
        SCOPED_TRACE(changesAt.toStdString());
        BoxedPage page(true);
        SelectionCapture changing(page.tree());
        bool full = true;
        changing.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
            if (method == u"GetText"_s && path == changesAt) page.show(tree, full = !full);
        };
        expectOneStateOrChanged(changing.run(true, std::nullopt), changing);
    }
    // The page's first and last paragraphs telling no selection for a moment, the others theirs (Firefox, for a
    // while after it makes objects again, though the page's selection is the same): read again once they tell it.
    {
        BoxedPage page(false);
        SelectionCapture told(page.tree());
        int pageTexts = 0;
        told.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
            if (method != u"GetText"_s || path != u"/page"_s) return;
            ++pageTexts;
            for (const QString& end : {u"/p1"_s, u"/closing"_s}) {
                test::ScriptedNode* node = tree.node(end);
                node->selections = pageTexts == 1 ? QList<AccessibleTextRange>{}
                                                  : QList<AccessibleTextRange>{{0, test::codePointCount(*node->text)}};
            }
        };
        const auto read = told.run(true, std::nullopt);
        ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
        EXPECT_EQ(linesOf(told), BoxedPage::lines(false));
    }
    // Its boxes filled and emptied again between two looks at the page, each look telling the selection of all
    // but its first paragraph (Firefox, for a while after it makes objects again): every answer of the page as it
    // was before, but the change announced. Read again once the page holds still, whole.
    {
        BoxedPage page(false);
        SelectionCapture announced(page.tree());
        announced.bus.announcesChanges = true;
        int pageTexts = 0;
        announced.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
            if (method != u"GetText"_s || path != u"/page"_s) return;
            // The page's text is read five times a reading: for its range, for its selected text, twice to find
            // them still as they were, and for its range again.
            if (++pageTexts <= 2) {
                page.show(tree, true);
                page.show(tree, false);
                announced.bus.announced << u"/page"_s << u"/page"_s;
            }
            test::ScriptedNode* first = tree.node(u"/p1"_s);
            first->selections.clear();
            if (pageTexts > 5) first->selections = {{0, test::codePointCount(*first->text)}};
        };
        const auto read = announced.run(true, std::nullopt);
        ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
        EXPECT_EQ(linesOf(announced), BoxedPage::lines(false));
    }
    // Two paragraphs rewritten together once the first was read, and a picture put in after the first paragraph
    // once the page's text was read: read again, the page as it stands after the change.
    {
        BoxedPage page(true);
        SelectionCapture rewritten(page.tree());
        int secondTexts = 0;
        rewritten.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
            // Its first text is asked whole, for the selection; the second is the one read.
            if (method != u"GetText"_s || path != u"/p2"_s || ++secondTexts != 2) return;
            tree.node(u"/p1"_s)->text = u"第一段落です。"_s;
            tree.node(u"/p2"_s)->text = u"第二段落です。"_s;
        };
        const auto read = rewritten.run(true, std::nullopt);
        ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
        EXPECT_EQ(linesOf(rewritten).mid(0, 4), (QStringList{u"第一段落です。"_s, u"1番の箱の上段落。"_s,
                                                             u"1番の箱の下段落。"_s, u"第二段落です。"_s}));
    }
    {
        BoxedPage page(true);
        SelectionCapture pictured(page.tree());
        int pageTexts = 0;
        bool done = false;
        pictured.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
            if (method == u"GetText"_s && path == u"/page"_s) ++pageTexts;
            if (method != u"GetLinkIndex"_s || pageTexts != 2 || std::exchange(done, true)) return;
            test::ScriptedNode* root = tree.node(u"/page"_s);
            root->embedded.insert(1, u"/picture"_s);
            root->text->append(QChar(kObjectReplacementCharacter));
            root->selections = {{0, int(root->embedded.size())}};
            tree.nodes.append({.path = u"/picture"_s,
                               .role = 27,
                               .parent = u"/page"_s,
                               .attributes = {{u"tag"_s, u"img"_s}, {u"display"_s, u"block"_s}}});
        };
        const auto read = pictured.run(true, std::nullopt);
        ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
        EXPECT_EQ(linesOf(pictured), BoxedPage::lines(true));
    }
}

// A page that shows no selection for a moment after it makes its objects again (Firefox, until it tells the
// selection afresh) is looked at again: read whole once it shows its selection, or refused as changed, never
// taken for a page with nothing selected; a still page with nothing selected is one, never a changed one.
TEST(ChangingPage, APageShowingNoSelectionWhileItChangesIsLookedAtAgain) {
    BoxedPage page(false);
    const ScriptedAccessibleTree unselected = page.unselected();
    SelectionCapture changing(unselected);
    int pageTexts = 0;
    changing.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
        if (method != u"GetText"_s || path != u"/page"_s || ++pageTexts != 2) return;
        page.show(tree, true);
    };
    const auto read = changing.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(linesOf(changing), BoxedPage::lines(true));

    // Its boxes emptied and filled whenever its text is read, its selection shown only while they are full.
    SelectionCapture flickering(unselected);
    bool full = false;
    flickering.bus.change = [&](ScriptedAccessibleTree& tree, const QString& method, const QString& path) {
        if (method != u"GetText"_s || path != u"/page"_s) return;
        page.show(tree, full = !full);
        if (!full) BoxedPage::unselect(tree);
    };
    expectOneStateOrChanged(flickering.run(true, std::nullopt), flickering);

    SelectionCapture still(unselected);
    EXPECT_EQ(failureOf(still.run(true, std::nullopt)), CaptureFailure::browserUnsupported);
    EXPECT_TRUE(still.desktop.requests.isEmpty());
}

}  // namespace
}  // namespace tavrine
