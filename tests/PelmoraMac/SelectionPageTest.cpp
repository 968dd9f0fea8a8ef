#include "PelmoraMac/Capture/AXSelectionReader.h"
#include "PelmoraMac/Capture/CapturedText.h"

#include "CaptureTesting.h"
#include "ScriptedAccessibilityBus.h"
#include "SelectionCapture.h"
#include "SelectionTesting.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::applicationWith;
using test::emptyFrame;
using test::failureOf;
using test::kPage;
using test::pageAt;
using test::ScriptedAccessibilityBus;
using test::ScriptedAccessibleTree;
using test::ScriptedNode;
using test::selectedPage;
using test::SelectionCapture;
using test::statesOf;
using test::textArea;
using test::textField;
using Operation = CaptureWorkerRequest::Operation;

// A page whose one-line field has the focus, "hunter2" in it all selected.
ScriptedAccessibleTree pageWithFocusedField() {
    ScriptedAccessibleTree tree = pageAt(kPage);
    tree.nodes.append({.path = u"/field"_s,
                       .role = AccessibleRole::entry,
                       .states = statesOf({AccessibleState::focused, AccessibleState::showing}),
                       .parent = u"/page"_s,
                       .text = u"hunter2"_s,
                       .selections = {{0, 7}}});
    tree.node(u"/paragraph"_s)->states = statesOf({AccessibleState::showing});
    tree.node(u"/page"_s)->children.append(u"/field"_s);
    return tree;
}

// A field of a page shows its text in clear on the bus where the page names it a password field (by its
// autocomplete): the page is asked about it when it can be, and its refusal holds over the bus's text.
TEST(SelectionReader, TheVerdictOfThePageOnAFocusedFieldHoldsOverTheBus) {
    ScriptedAccessibleTree tree = pageWithFocusedField();
    SelectionCapture askable(tree);
    askable.desktop.snapshotFailure = CaptureFailure::protectedField;
    EXPECT_EQ(failureOf(askable.run(true, ArticleBrowser::chrome)), CaptureFailure::protectedField);
    EXPECT_EQ(askable.operations(), QList<Operation>{Operation::snapshot});

    // Without the page's answer, a one-line field is never read from the bus, which does not carry the
    // autocomplete that may name it a password: the reason the page cannot be asked. A text area is read.
    for (const auto& [permission, failure] : {std::pair{kAutomationUndecided, CaptureFailure::automationRequired},
                                              std::pair{kAutomationDenied, CaptureFailure::automationDenied}}) {
        SelectionCapture busAlone(tree);
        busAlone.desktop.permission = permission;
        EXPECT_EQ(failureOf(busAlone.run(true, ArticleBrowser::chrome)), failure);
        EXPECT_TRUE(busAlone.operations().isEmpty());
    }
    SelectionCapture unreachable(tree);
    unreachable.desktop.snapshotFailure = CaptureFailure::browserJavaScriptDisabled;
    EXPECT_EQ(failureOf(unreachable.run(true, ArticleBrowser::chrome)), CaptureFailure::browserJavaScriptDisabled);

    ScriptedAccessibleTree area = tree;
    area.node(u"/field"_s)->states =
        statesOf({AccessibleState::focused, AccessibleState::showing, AccessibleState::multiLine});
    SelectionCapture areaOnTheBus(area);
    areaOnTheBus.desktop.permission = kAutomationUndecided;
    const auto read = areaOnTheBus.run(true, ArticleBrowser::chrome);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"hunter2"_s);
    EXPECT_EQ(areaOnTheBus.operations(), QList<Operation>{Operation::markdown});
}

// Where the page cannot be asked, the bus is read if it shows the page; the consent notice or the
// missing remote debugging otherwise.
TEST(SelectionReader, APageThatCannotBeAskedIsReadOnTheBusOrTellsWhy) {
    for (const int permission : {kAutomationUndecided, kAutomationDenied}) {
        SelectionCapture withoutTree(emptyFrame());
        withoutTree.desktop.permission = permission;
        withoutTree.primary = u"古い選択"_s;
        EXPECT_EQ(failureOf(withoutTree.run(true, ArticleBrowser::chrome)), permission == kAutomationDenied
                                                                                ? CaptureFailure::automationDenied
                                                                                : CaptureFailure::automationRequired);
        EXPECT_TRUE(withoutTree.desktop.requests.isEmpty());
        EXPECT_EQ(withoutTree.primaryReads, 0);

        SelectionCapture onTheBus(selectedPage({0, 4}));
        onTheBus.desktop.permission = permission;
        const auto read = onTheBus.run(true, ArticleBrowser::chrome);
        ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
        EXPECT_EQ(read->document.text.left(2), u"出し"_s);
        EXPECT_EQ(onTheBus.operations(), QList<Operation>{Operation::markdown});
    }
    SelectionCapture unreachable(emptyFrame());
    unreachable.desktop.snapshotFailure = CaptureFailure::browserJavaScriptDisabled;
    EXPECT_EQ(failureOf(unreachable.run(true, ArticleBrowser::chrome)), CaptureFailure::browserJavaScriptDisabled);
    SelectionCapture unreachableOnTheBus(selectedPage({0, 4}));
    unreachableOnTheBus.desktop.snapshotFailure = CaptureFailure::browserJavaScriptDisabled;
    EXPECT_TRUE(unreachableOnTheBus.run(true, ArticleBrowser::chrome));
    // Nothing selected on the bus, no consent: the consent notice, as for an article.
    SelectionCapture article(pageAt(kPage));
    article.desktop.permission = kAutomationUndecided;
    EXPECT_EQ(failureOf(article.run(true, ArticleBrowser::chrome)), CaptureFailure::automationRequired);
}

// In a browser whose page cannot be asked at all, a one-line field of the page is never read: the bus does
// not tell one that only its autocomplete names a password field. One the browser shows masked is a
// protected field's. A text area of the page, and a field of the browser's own, are read.
TEST(SelectionReader, AOneLineFieldOfAPageThatCannotBeAskedIsNeverRead) {
    ScriptedAccessibleTree tree = pageWithFocusedField();
    SelectionCapture field(tree);
    field.primary = u"hunter2"_s;
    EXPECT_EQ(failureOf(field.run(true, std::nullopt)), CaptureFailure::browserUnsupported);
    EXPECT_TRUE(field.desktop.requests.isEmpty());
    EXPECT_EQ(field.primaryReads, 0);

    ScriptedAccessibleTree masked = tree;
    masked.node(u"/field"_s)->text = u"•••••••"_s;
    SelectionCapture maskedField(masked);
    EXPECT_EQ(failureOf(maskedField.run(true, std::nullopt)), CaptureFailure::protectedField);
    // Also in a supported browser that cannot be asked.
    SelectionCapture maskedUnasked(masked);
    maskedUnasked.desktop.permission = kAutomationUndecided;
    EXPECT_EQ(failureOf(maskedUnasked.run(true, ArticleBrowser::chrome)), CaptureFailure::protectedField);

    ScriptedAccessibleTree area = tree;
    area.node(u"/field"_s)->states =
        statesOf({AccessibleState::focused, AccessibleState::showing, AccessibleState::multiLine});
    SelectionCapture areaOnTheBus(area);
    const auto read = areaOnTheBus.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"hunter2"_s);

    // The browser's own address bar, under its window and no page.
    SelectionCapture addressBar(applicationWith(textField(u"example.org"_s, {{0, 11}})));
    const auto address = addressBar.run(true, std::nullopt);
    ASSERT_TRUE(address) << rawValue(address.error()).toStdString();
    EXPECT_EQ(address->document.text, u"example.org"_s);
}

// While the hot key is held, and a moment after, its grab takes the X11 focus from the application in front,
// which tells the bus its window is inactive: the capture waits for the window to be active again and
// reads what the user had in front, never the primary selection in its place.
TEST(SelectionReader, TheHotKeysGrabIsNoChangeOfTheSource) {
    // A heading the page masks whole, selected: the bus gives the browser's marks for it.
    ScriptedAccessibleTree maskedPage = selectedPage({0, 1});
    maskedPage.node(u"/heading"_s)->text = u"•••••"_s;
    for (const std::optional<ArticleBrowser> browser :
         {std::optional<ArticleBrowser>{}, std::optional(ArticleBrowser::chrome)}) {
        SelectionCapture masked(maskedPage);
        masked.bus.grabbedStateReads = 6;
        masked.primary = u"hunter2 in clear"_s;
        masked.desktop.permission = kAutomationUndecided;
        EXPECT_EQ(failureOf(masked.run(true, browser)), CaptureFailure::protectedField);
        EXPECT_EQ(masked.primaryReads, 0);
    }

    SelectionCapture paragraph(selectedPage({1, 2}));
    paragraph.bus.grabbedStateReads = 6;
    paragraph.primary = u"古い選択"_s;
    auto read = paragraph.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"リンク付きの段落"_s);

    // Coming back, the browser shows the focus on the pane that holds its page for a moment, then on the
    // element it was on, which it announces again.
    ScriptedAccessibleTree withPane = selectedPage({1, 2});
    withPane.nodes.append({.path = u"/pane"_s,
                           .role = test::kPushButtonRole,
                           .states = statesOf({AccessibleState::showing}),
                           .parent = u"/frame"_s});
    withPane.node(u"/frame"_s)->children.prepend(u"/pane"_s);
    SelectionCapture detour(withPane);
    detour.bus.announcedFocus = u"/paragraph"_s;
    detour.bus.focusChangedAt = SystemClock::shared().monotonicNow();
    detour.bus.detourFocus = u"/pane"_s;
    detour.bus.detourStateReads = 8;
    detour.primary = u"古い選択"_s;
    read = detour.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"リンク付きの段落"_s);

    // On a busy machine the browser holds the focus on its page's panel, which it announced, for longer than
    // the quiet time: the panel is where the focus passes, and the element it comes back to is read.
    ScriptedAccessibleTree withPanel = withPane;
    withPanel.node(u"/pane"_s)->role = AccessibleRole::panel;
    SelectionCapture slowDetour(withPanel);
    slowDetour.bus.announcedFocus = u"/paragraph"_s;
    slowDetour.bus.focusChangedAt = SystemClock::shared().monotonicNow() - std::chrono::seconds(1);
    slowDetour.bus.detourFocus = u"/pane"_s;
    slowDetour.bus.detourStateReads = 8;
    slowDetour.bus.detourAnnounced = true;
    slowDetour.primary = u"古い選択"_s;
    read = slowDetour.run(true, std::nullopt);
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"リンク付きの段落"_s);

    // Busier still, the browser takes the grab in only once the reader saw its focus settled on the element:
    // the focus is let settle again, wherever in the reading the grab lands.
    for (int lateBy = 1; lateBy <= 16; ++lateBy) {
        SelectionCapture lateDetour(withPanel);
        lateDetour.bus.announcedFocus = u"/paragraph"_s;
        lateDetour.bus.focusChangedAt = SystemClock::shared().monotonicNow() - std::chrono::seconds(1);
        lateDetour.bus.detourFocus = u"/pane"_s;
        lateDetour.bus.detourAfterStateReads = lateBy;
        lateDetour.bus.detourStateReads = 8;
        lateDetour.bus.detourAnnounced = true;
        read = lateDetour.run(true, std::nullopt);
        ASSERT_TRUE(read) << lateBy << " " << rawValue(read.error()).toStdString();
        EXPECT_EQ(read->document.text, u"リンク付きの段落"_s);
    }

    // Outside browsers too: a text editor's selection, not the primary selection.
    SelectionCapture editor(applicationWith(textArea(u"本文の選択です"_s, {{3, 5}})));
    editor.bus.grabbedStateReads = 6;
    editor.primary = u"古い選択"_s;
    read = editor.run();
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"選択"_s);
    EXPECT_EQ(editor.primaryReads, 0);

    // A window that stays inactive: the wait ends, and the capture goes on as it finds the application.
    SelectionCapture stillGrabbed(applicationWith(textArea(u"本文の選択です"_s, {{3, 5}})));
    stillGrabbed.bus.grabbedStateReads = 1'000'000;
    stillGrabbed.primary = u"端末の選択"_s;
    read = stillGrabbed.run();
    ASSERT_TRUE(read) << rawValue(read.error()).toStdString();
    EXPECT_EQ(read->document.text, u"端末の選択"_s);
    SelectionCapture browserStillGrabbed(selectedPage({1, 2}));
    browserStillGrabbed.bus.grabbedStateReads = 1'000'000;
    browserStillGrabbed.primary = u"hunter2 in clear"_s;
    EXPECT_EQ(failureOf(browserStillGrabbed.run(true, std::nullopt)), CaptureFailure::browserUnsupported);
    EXPECT_EQ(browserStillGrabbed.primaryReads, 0);
}

TEST(SelectionReader, FocusThatMovesWhileAPageIsReadIsASourceChange) {
    ScriptedAccessibleTree moving = pageAt(kPage);
    moving.nodes.append({.path = u"/other"_s, .role = test::kParagraphRole, .parent = u"/page"_s});
    // The page's address is read when it is found and again by each check that it is unchanged: the
    // focus moves between the first check and the next.
    moving.focusMove = ScriptedAccessibleTree::FocusMove{.path = u"/page"_s, .afterAddressReads = 2, .to = u"/other"_s};
    SelectionCapture capture(moving);
    EXPECT_EQ(failureOf(capture.run(true, ArticleBrowser::chrome)), CaptureFailure::sourceChanged);

    // An announced focus that has moved on is searched for instead.
    SelectionCapture announced(applicationWith(textArea(u"本文です"_s), {textField(u"古い"_s)}));
    announced.bus.announcedFocus = u"/field"_s;
    const auto read = announced.run();
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->isBody);
}

}  // namespace
}  // namespace tavrine
