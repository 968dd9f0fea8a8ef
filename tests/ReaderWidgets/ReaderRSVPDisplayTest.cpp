#include "ReaderWidgets/Display/PhraseWidthMeasurer.h"
#include "ReaderWidgets/Display/ReaderRSVPDisplay.h"
#include "ReaderWidgets/Style/ReaderTypography.h"

#include "support/GuiTesting.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;
using tavrine::test::processEventsUntil;

namespace tavrine {
namespace {

// A display shown at a fixed size in its own window, settled (scroll bars shown or hidden).
class ShownDisplay {
public:
    explicit ShownDisplay(QSize size) {
        display.setFixedSize(size);
        display.show();
        processEventsUntil([this] { return display.isVisible(); });
    }

    void apply(const QString& text, double size) {
        display.apply(text, size);
        settle();
    }

    // Lets queued scroll-bar changes and the layout passes they cause run.
    void settle() {
        processEventsUntil([] { return false; }, std::chrono::milliseconds(30));
    }

    QWidget* document() const { return display.widget(); }
    QScrollBar* horizontal() const { return display.horizontalScrollBar(); }
    QScrollBar* vertical() const { return display.verticalScrollBar(); }

    ReaderRSVPDisplay display;
};

double lineHeight(double size) {
    return QFontMetricsF(ReaderTypography::readingFont(size)).height();
}

TEST(ReaderRSVPDisplayTest, PhraseIsCentredVerticallyAndTallTextScrollsFromTheTop) {
    ShownDisplay shown(QSize(300, 156));
    shown.apply(u"吾輩は猫である。"_s, 34);
    EXPECT_EQ(shown.document()->size(), QSize(300, 156));
    EXPECT_NEAR(shown.display.documentGeometry().verticalInset, (156 - lineHeight(34)) / 2, 0.5);
    EXPECT_FALSE(shown.horizontal()->isVisible());
    EXPECT_FALSE(shown.vertical()->isVisible());
    EXPECT_EQ(shown.display.accessibleName(), u"吾輩は猫である。"_s);

    // 40 kana at 34 pixels wrap at any Character into five lines of the text width left beside the
    // vertical scroll bar: taller than the view, so the document grows and shows from its top.
    shown.apply(QString(40, u'あ'), 34);
    EXPECT_EQ(shown.display.documentGeometry().verticalInset, 8);
    EXPECT_GE(shown.display.documentGeometry().height, 5 * lineHeight(34) + 16 - 0.5);
    EXPECT_TRUE(shown.vertical()->isVisible());
    EXPECT_EQ(shown.vertical()->value(), 0);
}

TEST(ReaderRSVPDisplayTest, CharacterWiderThanTheViewWidensTheDocumentAndStartsAtItsLeftEdge) {
    ShownDisplay shown(QSize(60, 200));
    shown.apply(u"あ"_s, 72);
    const double widest = PhraseWidthMeasurer::widestCharacterWidth(u"あ", ReaderTypography::readingFont(72));
    EXPECT_EQ(shown.display.minimumDocumentWidth(), std::ceil(widest) + 36);
    EXPECT_EQ(shown.document()->width(), std::ceil(widest) + 36);
    EXPECT_TRUE(shown.horizontal()->isVisible());
    EXPECT_GT(shown.horizontal()->maximum(), 0);
    EXPECT_EQ(shown.horizontal()->value(), 0);
}

TEST(ReaderRSVPDisplayTest, SamePhraseAgainChangesNothingAndANewSizeStartsOver) {
    ShownDisplay shown(QSize(60, 120));
    shown.apply(u"あ"_s, 72);
    shown.horizontal()->setValue(shown.horizontal()->maximum());
    shown.vertical()->setValue(shown.vertical()->maximum());
    const int right = shown.horizontal()->value();
    const int bottom = shown.vertical()->value();
    ASSERT_GT(right, 0);
    ASSERT_GT(bottom, 0);
    const auto geometry = shown.display.documentGeometry();

    shown.apply(u"あ"_s, 72);
    EXPECT_EQ(shown.horizontal()->value(), right);
    EXPECT_EQ(shown.vertical()->value(), bottom);
    EXPECT_EQ(shown.display.documentGeometry(), geometry);

    // The same text at another size is laid out again and shown from its top-left.
    shown.apply(u"あ"_s, 70);
    EXPECT_EQ(shown.horizontal()->value(), 0);
    EXPECT_EQ(shown.vertical()->value(), 0);
    EXPECT_LT(shown.display.minimumDocumentWidth(), geometry.width);

    // Another text at the same size too.
    shown.horizontal()->setValue(shown.horizontal()->maximum());
    shown.apply(u"い"_s, 70);
    EXPECT_EQ(shown.horizontal()->value(), 0);
    EXPECT_EQ(shown.display.accessibleName(), u"い"_s);
}

TEST(ReaderRSVPDisplayTest, EmptyPhraseKeepsOnlyTheMargin) {
    ShownDisplay shown(QSize(300, 156));
    EXPECT_EQ(shown.display.sizeHint(), QSize(300, 156));
    EXPECT_FALSE(shown.display.pointSize().has_value());
    shown.apply(u"吾輩"_s, 34);
    shown.apply(QString(), 34);
    EXPECT_EQ(shown.display.minimumDocumentWidth(), 36);
    EXPECT_EQ(shown.display.documentGeometry().width, 300);
    EXPECT_FALSE(shown.horizontal()->isVisible());
    EXPECT_TRUE(shown.display.accessibleName().isEmpty());
}

TEST(ReaderRSVPDisplayTest, ClicksOnThePhraseOrItsScrollBarsLeaveTheFocusWithTheReader) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* reader = new QLineEdit;
    auto* display = new ReaderRSVPDisplay;
    layout->addWidget(reader);
    layout->addWidget(display);
    display->setFixedSize(60, 120);
    window.show();
    window.activateWindow();
    reader->setFocus();
    ASSERT_TRUE(processEventsUntil([&] { return reader->hasFocus(); }));
    display->apply(u"あ"_s, 72);
    ASSERT_TRUE(processEventsUntil([&] { return display->horizontalScrollBar()->isVisible(); }));

    for (QWidget* target :
         {display->widget(), display->viewport(), static_cast<QWidget*>(display),
          static_cast<QWidget*>(display->horizontalScrollBar()), static_cast<QWidget*>(display->verticalScrollBar())}) {
        EXPECT_EQ(target->focusPolicy(), Qt::NoFocus) << target->metaObject()->className();
        const QPointF inside(target->width() / 2.0, target->height() / 2.0);
        const QPointF global = target->mapToGlobal(inside);
        QMouseEvent press(QEvent::MouseButtonPress, inside, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, inside, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &release);
        EXPECT_TRUE(reader->hasFocus()) << "a click on " << target->metaObject()->className();
    }
}

}  // namespace
}  // namespace tavrine
