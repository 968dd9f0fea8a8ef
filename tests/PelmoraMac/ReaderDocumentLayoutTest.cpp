#include "PelmoraMac/Window/ReaderDocumentLayout.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderWidgets/Style/ReaderTheme.h"

#include "support/GuiTesting.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>

#include <memory>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;

constexpr int kHeight = 400;

// A layout of a list (a line edit, so it has state to keep) and a reader column in a shown window, over
// presentation settings that want the list.
class DocumentLayoutTest : public testing::Test {
protected:
    DocumentLayoutTest() {
        defaults.setBool(ReaderPresentation::kShowsHistoryKey, true);
        presentation = std::make_unique<ReaderPresentation>(defaults);
        sidebar = new QLineEdit;
        content = new QWidget;
        layout = new ReaderDocumentLayout(
            *presentation, sidebar, content, [this] { ++hides; }, &window);
        ReaderTheme::apply(window);
        window.resize(1600, kHeight);
        layout->setGeometry(0, 0, 0, kHeight);
        window.show();
    }

    // Resizes the layout and lets the deferred reports run.
    void resizeTo(int width) {
        layout->resize(width, kHeight);
        QApplication::processEvents();
        QApplication::processEvents();
    }

    MemoryDefaults defaults;
    std::unique_ptr<ReaderPresentation> presentation;
    QPointer<QLineEdit> sidebar;
    QPointer<QWidget> content;
    QWidget window;
    ReaderDocumentLayout* layout;
    int hides = 0;
};

TEST_F(DocumentLayoutTest, FramesAtTheEdgesOfTheWidthRules) {
    const struct {
        int width;
        double historyWidth;
        QRect sidebar;  // empty: hidden
        QRect content;
    } cases[] = {
        {721, 300, {0, 0, 240, kHeight}, {241, 0, 480, kHeight}},
        {900, 300, {0, 0, 300, kHeight}, {301, 0, 599, kHeight}},
        {760, 400, {0, 0, 279, kHeight}, {280, 0, 480, kHeight}},
        {1200, 420, {0, 0, 420, kHeight}, {421, 0, 779, kHeight}},
        {720, 300, {}, {0, 0, 720, kHeight}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        presentation->setHistoryWidth(c.historyWidth);
        resizeTo(c.width);
        EXPECT_EQ(layout->showsSidebar(), !c.sidebar.isEmpty());
        EXPECT_EQ(sidebar->isVisible(), !c.sidebar.isEmpty());
        if (!c.sidebar.isEmpty()) {
            EXPECT_EQ(sidebar->geometry(), c.sidebar);
        }
        EXPECT_EQ(content->geometry(), c.content);
        EXPECT_EQ(presentation->availableWidth(), c.width);
    }

    // Not wanted: hidden at any width, and back at once when wanted again.
    presentation->setPrefersHistory(false);
    resizeTo(1500);
    EXPECT_FALSE(sidebar->isVisible());
    EXPECT_EQ(content->geometry(), QRect(0, 0, 1500, kHeight));
    presentation->setPrefersHistory(true);
    EXPECT_TRUE(sidebar->isVisible());
    EXPECT_EQ(content->geometry(), QRect(301, 0, 1199, kHeight));
}

TEST_F(DocumentLayoutTest, TheListLeavesAndReturnsAsTheSameObjectAndTheHideCallbackRunsOncePerHiding) {
    resizeTo(900);
    sidebar->setText(u"検索中の言葉"_s);
    ASSERT_TRUE(sidebar->isVisible());

    layout->resize(700, kHeight);
    EXPECT_FALSE(sidebar->isVisible());
    EXPECT_EQ(hides, 0) << "runs after the layout pass, not inside it";
    QApplication::processEvents();
    EXPECT_EQ(hides, 1);
    EXPECT_EQ(content->geometry(), QRect(0, 0, 700, kHeight));

    resizeTo(650);
    presentation->setPrefersHistory(false);
    resizeTo(1000);
    EXPECT_EQ(hides, 1) << "already hidden";

    presentation->setPrefersHistory(true);
    resizeTo(900);
    ASSERT_TRUE(sidebar);
    EXPECT_EQ(layout->sidebar(), sidebar.data());
    EXPECT_EQ(sidebar->parentWidget(), layout);
    EXPECT_TRUE(sidebar->isVisible());
    EXPECT_EQ(sidebar->geometry(), QRect(0, 0, 300, kHeight));
    EXPECT_EQ(sidebar->text(), u"検索中の言葉"_s);
    EXPECT_EQ(hides, 1);

    presentation->setPrefersHistory(false);
    QApplication::processEvents();
    EXPECT_EQ(hides, 2);
}

TEST_F(DocumentLayoutTest, AWidthIsReportedOnceWhenItChangesAndNotBeforeTheLayoutHasOne) {
    resizeTo(0);
    EXPECT_EQ(presentation->availableWidth(), std::nullopt);
    EXPECT_FALSE(sidebar->isVisible());

    resizeTo(800);
    EXPECT_EQ(presentation->availableWidth(), 800);
    // Another pass at the same width (the list's width changed) reports nothing: the stand-in value stays.
    presentation->setAvailableWidth(5);
    presentation->setHistoryWidth(250);
    resizeTo(800);
    EXPECT_EQ(presentation->availableWidth(), 5);
    EXPECT_EQ(sidebar->width(), 250);

    resizeTo(801);
    EXPECT_EQ(presentation->availableWidth(), 801);
}

TEST_F(DocumentLayoutTest, DraggingTheDividerIsLimitedAndStored) {
    resizeTo(1200);
    EXPECT_EQ(layout->dragDivider(200), 240);
    EXPECT_EQ(defaults.object(ReaderPresentation::kHistoryWidthKey), DefaultsValue(240.0));
    EXPECT_EQ(sidebar->width(), 240);
    EXPECT_EQ(layout->dragDivider(500), 420);
    EXPECT_EQ(presentation->historyWidth(), 420);
    resizeTo(760);
    EXPECT_EQ(layout->dragDivider(400), 279);
    EXPECT_EQ(layout->dragDivider(100), 240);

    // By the pointer: a press on the grab zone beside the 1-pixel line, then a move.
    resizeTo(1000);
    EXPECT_EQ(layout->dragDivider(300), 300);
    QWidget* grip = layout->childAt(302, kHeight / 2);
    ASSERT_NE(grip, nullptr);
    ASSERT_NE(grip, content.data());
    const auto send = [&](QEvent::Type type, QPoint inLayout, Qt::MouseButtons buttons) {
        const QPointF local = grip->mapFrom(layout, QPointF(inLayout));
        QMouseEvent event(type, local, grip->mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(grip, &event);
    };
    send(QEvent::MouseButtonPress, {302, 100}, Qt::LeftButton);
    send(QEvent::MouseMove, {352, 120}, Qt::LeftButton);
    EXPECT_EQ(presentation->historyWidth(), 350);
    send(QEvent::MouseMove, {900, 120}, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {900, 120}, Qt::NoButton);
    EXPECT_EQ(presentation->historyWidth(), 420);
    EXPECT_EQ(content->geometry(), QRect(421, 0, 579, kHeight));
}

}  // namespace
}  // namespace tavrine
