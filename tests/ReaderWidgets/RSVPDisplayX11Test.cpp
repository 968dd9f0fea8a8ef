#include "ReaderWidgets/Display/ReaderRSVPDisplay.h"
#include "ReaderWidgets/Style/ReaderTypography.h"

#include "support/GuiTesting.h"
#include "support/ReceivedPresses.h"

#include <gtest/gtest.h>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWindow>

#include <optional>
#include <vector>

using namespace Qt::StringLiterals;
using tavrine::test::processEventsUntil;
using tavrine::test::testArtifactPath;

namespace tavrine {
namespace {

// The reader's dark window background, behind a display that draws none of its own.
const QColor kBackground(11, 20, 32);

// A band of rows holding ink and the box of that ink, in window pixels.
struct InkBand {
    int top = 0;
    int bottom = 0;  // exclusive
    int left = 0;
    int right = 0;  // exclusive
    double centreX() const { return (left + right) / 2.0; }
    double centreY() const { return (top + bottom) / 2.0; }
    int width() const { return right - left; }
};

// A pixel is ink when it is well away from the background: the phrase is light on dark, and the edges
// of its antialiased strokes count from about a third of full coverage.
bool isInk(QRgb pixel) {
    return qRed(pixel) - kBackground.red() + qGreen(pixel) - kBackground.green() + qBlue(pixel) - kBackground.blue() >
           200;
}

// The bands of ink rows inside area, top to bottom (rows without ink separate them).
std::vector<InkBand> inkBands(const QImage& image, QRect area) {
    std::vector<InkBand> bands;
    std::optional<InkBand> open;
    for (int y = area.top(); y <= area.bottom() + 1; ++y) {
        int left = area.right() + 1;
        int right = area.left();
        if (y <= area.bottom()) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (isInk(image.pixel(x, y))) {
                    left = std::min(left, x);
                    right = std::max(right, x + 1);
                }
            }
        }
        if (left < right) {
            if (!open) {
                open = InkBand{y, y + 1, left, right};
            }
            open->bottom = y + 1;
            open->left = std::min(open->left, left);
            open->right = std::max(open->right, right);
        } else if (open) {
            bands.push_back(*open);
            open.reset();
        }
    }
    return bands;
}

InkBand inkBox(const std::vector<InkBand>& bands) {
    InkBand box = bands.front();
    for (const InkBand& band : bands) {
        box.top = std::min(box.top, band.top);
        box.bottom = std::max(box.bottom, band.bottom);
        box.left = std::min(box.left, band.left);
        box.right = std::max(box.right, band.right);
    }
    return box;
}

class RSVPDisplayX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(QGuiApplication::platformName(), u"xcb"_s) << "run under scripts/with-xvfb";
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, kBackground);
        window.setPalette(palette);
        window.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(display, 0, Qt::AlignCenter);
        window.resize(600, 200);
        display->setFixedSize(600, 200);
        window.show();
        ASSERT_TRUE(processEventsUntil([this] { return window.windowHandle() && window.windowHandle()->isExposed(); }));
    }

    // What the X server shows of the window once the phrase is painted (however late a loaded machine paints it)
    // and what its layout moves after it has settled, saved under test-artifacts/.
    QImage show(const QString& text, double size, const QString& artifact) {
        const test::ReceivedPaints paints(window);
        display->apply(text, size);
        EXPECT_TRUE(processEventsUntil([&] { return paints.count() > 0; })) << "the phrase was never painted";
        processEventsUntil([] { return false; }, std::chrono::milliseconds(200));
        const QImage image = window.screen()->grabWindow(window.winId()).toImage();
        EXPECT_TRUE(image.save(testArtifactPath(artifact))) << artifact.toStdString();
        return image;
    }

    // The visible part of the document, scroll bars left out, in window pixels.
    QRect displayArea() const {
        return QRect(display->viewport()->mapTo(&window, QPoint(0, 0)), display->viewport()->size());
    }

    // Where a centred line box puts the ink of text: the box's centre is the view's centre, and the ink
    // sits in the box as the font's metrics place it.
    QRectF expectedInk(const QString& text, double size) const {
        const QFontMetricsF metrics(ReaderTypography::readingFont(size));
        const QRectF ink = metrics.tightBoundingRect(text);
        const QRectF area = displayArea();
        const double boxLeft = area.center().x() + 0.5 - metrics.horizontalAdvance(text) / 2;
        const double baseline = area.center().y() + 0.5 - metrics.height() / 2 + metrics.ascent();
        return ink.translated(boxLeft, baseline);
    }

    QWidget window;
    ReaderRSVPDisplay* display = new ReaderRSVPDisplay;
};

TEST_F(RSVPDisplayX11Test, PhraseIsCentredAtBothSizes) {
    const QString phrase = u"吾輩は猫である。"_s;
    for (const int size : {34, 72}) {
        SCOPED_TRACE(size);
        const QImage image = show(phrase, size, u"rsvp-%1.png"_s.arg(size));
        const auto bands = inkBands(image, displayArea());
        ASSERT_EQ(bands.size(), 1u) << "one line";
        const InkBand ink = bands.front();
        const QRectF area = displayArea();
        const QRectF expected = expectedInk(phrase, size);

        // The ink is as wide as the phrase's ink and lies where a centred line puts it. The full stop's
        // ink fills only the left of its square, so the ink's own centre lies left of the view's.
        EXPECT_NEAR(ink.width(), expected.width(), 3);
        EXPECT_NEAR(ink.centreX(), expected.center().x(), 2);
        EXPECT_NEAR(ink.centreY(), expected.center().y(), 2);
        // Vertically the line box is centred; the kana sit a little low in it.
        EXPECT_NEAR(ink.centreY(), area.center().y() + 0.5, 0.06 * size);
        EXPECT_TRUE(display->accessibleName() == phrase);

        // The strokes' full colour is the palette's text colour.
        QRgb brightest = 0;
        for (int y = ink.top; y < ink.bottom; ++y) {
            for (int x = ink.left; x < ink.right; ++x) {
                if (qGray(image.pixel(x, y)) > qGray(brightest)) {
                    brightest = image.pixel(x, y);
                }
            }
        }
        EXPECT_NEAR(qRed(brightest), 244, 2);
        EXPECT_NEAR(qGreen(brightest), 240, 2);
        EXPECT_NEAR(qBlue(brightest), 228, 2);
    }
}

TEST_F(RSVPDisplayX11Test, LongPhraseWrapsIntoCentredLines) {
    // Thirty Characters at 34 pixels: sixteen fit the 576 pixels between the insets, fourteen follow.
    const QString phrase = u"吾輩は猫である名前はまだ無いどこで生れたかとんと見当がつかぬ"_s;
    ASSERT_EQ(phrase.size(), 30);
    const QImage image = show(phrase, 34, u"rsvp-wrapped.png"_s);
    const QRectF area = displayArea();
    const auto bands = inkBands(image, displayArea());
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_FALSE(display->verticalScrollBar()->isVisible());
    const QStringList lines = {phrase.left(16), phrase.mid(16)};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(lines[i].toStdString());
        const QRectF expected = expectedInk(lines[i], 34);
        EXPECT_NEAR(bands[i].centreX(), expected.center().x(), 2);
        EXPECT_NEAR(bands[i].width(), expected.width(), 3);
    }
    EXPECT_NEAR(inkBox(bands).centreY(), area.center().y() + 0.5, 0.06 * 34 + 1);
}

TEST_F(RSVPDisplayX11Test, CharacterWiderThanTheViewScrollsFromItsLeftEdge) {
    display->setFixedSize(60, 200);
    ASSERT_TRUE(processEventsUntil([this] { return display->width() == 60; }));
    const QImage image = show(u"あ"_s, 72, u"rsvp-narrow.png"_s);
    ASSERT_TRUE(processEventsUntil([this] { return display->horizontalScrollBar()->isVisible(); }));
    EXPECT_EQ(display->horizontalScrollBar()->value(), 0);
    EXPECT_GT(display->horizontalScrollBar()->maximum(), 0);

    // Scrolled to the left end: the kana starts where it starts in the document (centred in a document
    // wider than the view), and runs past the view's right edge.
    const QFontMetricsF metrics(ReaderTypography::readingFont(72));
    const double documentWidth = display->widget()->width();
    const double inkLeft =
        12 + (documentWidth - 24 - metrics.horizontalAdvance(u"あ"_s)) / 2 + metrics.tightBoundingRect(u"あ"_s).left();
    const auto bands = inkBands(image, displayArea());
    ASSERT_FALSE(bands.empty());
    EXPECT_NEAR(inkBox(bands).left - displayArea().left(), inkLeft, 2);
    EXPECT_EQ(inkBox(bands).right, displayArea().right() + 1);
}

}  // namespace
}  // namespace tavrine
