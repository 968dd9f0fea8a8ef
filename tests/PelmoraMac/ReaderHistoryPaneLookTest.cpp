// How the document list pane draws its states, offscreen over a real store: the loading and searching
// states (a busy indicator beside the label, at the place of the other states' text, whatever the
// query), the rows' "…" button hovered, pressed and focused (no plate, the tint's faint wash, the ring
// outside it), the file progress row at the list's widths and the busy indicator of a store operation.
// Screenshots go to test-artifacts/history-pane-*.png.
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderFileProgressRow.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderHistoryPane.h"
#include "PelmoraMac/Library/ReaderHistoryTable.h"
#include "PelmoraMac/Library/ReaderMenuIconButton.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/Library/ReadingLibrarySearch.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderBusyIndicator.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include "LibraryTesting.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/StoreTesting.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCoro/QCoroFuture>
#include <QHoverEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::Gate;
using test::processEventsUntil;
using test::runTask;
using Content = ReaderHistoryPane::Content;

SavedReading reading(const QString& title, const QString& text) {
    return SavedReading{.id = QUuid::createUuid(),
                        .document = {.sections = {}, .text = text, .spans = {}},
                        .title = title,
                        .epub = std::nullopt,
                        .source = std::nullopt,
                        .importedAt = {}};
}

// Each channel of colour laid over background at opacity.
QColor over(const QColor& background, const QColor& colour, double opacity) {
    const auto mix = [&](int under, int top) { return static_cast<int>(std::lround(under + (top - under) * opacity)); };
    return QColor(mix(background.red(), colour.red()), mix(background.green(), colour.green()),
                  mix(background.blue(), colour.blue()));
}

// Whether no pixel whose centre lies in area is lighter than ceiling in any channel (by more than rounding).
testing::AssertionResult noPixelLighter(const QImage& image, const QPainterPath& area, const QColor& ceiling) {
    const QRect bounds = area.boundingRect().toAlignedRect();
    for (int y = bounds.top(); y <= bounds.bottom(); ++y) {
        for (int x = bounds.left(); x <= bounds.right(); ++x) {
            if (!area.contains(QPointF(x + 0.5, y + 0.5))) continue;
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.red() > ceiling.red() + 1 || pixel.green() > ceiling.green() + 1 ||
                pixel.blue() > ceiling.blue() + 1)
                return testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << pixel.name().toStdString() << ", above "
                       << ceiling.name().toStdString();
        }
    }
    return testing::AssertionSuccess();
}

// A button's rounded square, inset, less the band of the dots across its middle: where only a plate
// could show.
QPainterPath aroundGlyph(const QRect& square, int inset) {
    QPainterPath plate;
    plate.addRoundedRect(QRectF(square).adjusted(inset, inset, -inset, -inset), 6 - inset, 6 - inset);
    QPainterPath dots;
    dots.addRect(QRectF(square.left(), square.center().y() - 3, square.width(), 7));
    return plate.subtracted(dots);
}

bool near(const QColor& pixel, const QColor& expected) {
    return std::abs(pixel.red() - expected.red()) <= 2 && std::abs(pixel.green() - expected.green()) <= 2 &&
           std::abs(pixel.blue() - expected.blue()) <= 2;
}

class ReaderHistoryPaneLookTest : public testing::Test {
protected:
    void SetUp() override {
        auto opened = ReadingStore::open(folder.filePath(u"reading-store.json"_s), clock);
        ASSERT_TRUE(opened.has_value());
        store = std::move(*opened);
        ASSERT_TRUE(runTask(store->setHistoryEnabled(true)).has_value());
    }

    void TearDown() override {
        pane.reset();
        model.reset();
        playback.reset();
        EXPECT_TRUE(test::releaseStore(store));
    }

    void played(const SavedReading& reading) {
        ASSERT_TRUE(runTask(store->recordPlayback(reading, clock.now(), ReadingProgress{})).has_value());
        clock.advance(std::chrono::seconds(1));
    }

    // The pane shown at width, its model not yet loaded; file loads wait while a gate is held.
    ReaderHistoryPane& show(int width) {
        playback =
            std::make_unique<MacReadingPlayback>(store, defaults, clock, MacReadingPlayback::readingFontPhraseWidth());
        model = std::make_unique<ReaderHistoryModel>(
            std::make_unique<ReadingLibrarySearch>(), *playback, nullptr, [this](QUrl url, CancellationToken token) {
                return test::loadAfterGate(gate, std::move(url), std::move(token));
            });
        pane = std::make_unique<ReaderHistoryPane>(*model);
        ReaderTheme::apply(*pane);
        pane->resize(width, 600);
        pane->show();
        pane->activateWindow();
        EXPECT_TRUE(processEventsUntil([&] { return pane->isActiveWindow(); }));
        return *pane;
    }

    void load() {
        loading.start([this](CancellationToken token) { return model->load(std::move(token)); });
        ASSERT_TRUE(processEventsUntil([&] { return model->isLoaded(); }));
    }

    // Where a widget's top-left corner lies in the pane.
    QPoint inPane(const QWidget* widget) const { return widget->mapTo(pane.get(), QPoint(0, 0)); }

    QImage shot() const { return pane->grab().toImage(); }

    test::TemporaryDirectory folder;
    test::TemporaryDirectory files;
    test::FakeClock clock;
    MemoryDefaults defaults;
    std::shared_ptr<ReadingStore> store;
    std::unique_ptr<MacReadingPlayback> playback;
    std::unique_ptr<ReaderHistoryModel> model;
    std::unique_ptr<ReaderHistoryPane> pane;
    std::shared_ptr<Gate> gate;
    TaskHandle loading;
};

// While loading and while a full-text search runs, the indicator turns beside the label, and the label
// stands where the empty state's title does: typing never moves it.
TEST_F(ReaderHistoryPaneLookTest, LoadingAndSearchingShowTheIndicatorWhereTheStateTextSits) {
    // Longer than a text searched whole, so every query runs in the background.
    played(reading(u"猫の話"_s, u"吾輩は猫である。名前はまだ無い。"_s.repeated(1'500)));
    ReaderHistoryPane& pane = show(300);
    ASSERT_EQ(pane.content(), Content::loading);
    QWidget* loadingPage = pane.contentPage(Content::loading);
    ASSERT_TRUE(processEventsUntil([&] { return loadingPage->isVisible(); }));
    auto* loadingIndicator = loadingPage->findChild<ReaderBusyIndicator*>();
    auto* loadingLabel = loadingPage->findChild<QLabel*>();
    ASSERT_NE(loadingIndicator, nullptr);
    ASSERT_NE(loadingLabel, nullptr);
    EXPECT_EQ(loadingLabel->text(), u"保存文書を読み込み中"_s);
    EXPECT_TRUE(loadingIndicator->isVisible());
    const QPoint indicatorAt = inPane(loadingIndicator);
    const QPoint labelAt = inPane(loadingLabel);
    // Beside the label, at the header's leading edge.
    EXPECT_LT(indicatorAt.x(), labelAt.x());
    EXPECT_EQ(indicatorAt.x(), inPane(pane.collectionButton(ReaderHistoryModel::Collection::history)).x());

    load();
    EXPECT_FALSE(loadingIndicator->isAnimating());
    pane.toggleSearch();
    QWidget* searchingPage = pane.contentPage(Content::searching);
    auto* searchingIndicator = searchingPage->findChild<ReaderBusyIndicator*>();
    auto* searchingLabel = searchingPage->findChild<QLabel*>();
    ASSERT_NE(searchingIndicator, nullptr);
    ASSERT_NE(searchingLabel, nullptr);
    EXPECT_EQ(searchingLabel->text(), u"本文を検索中"_s);

    const QStringList queries{u"名"_s,           u"名前"_s,   u"名前は"_s, u"名前はま"_s, u"名前はまだ"_s,
                              u"名前はまだ犬"_s, u"名前は"_s, u"猫"_s,     u"犬"_s,       u"猫で"_s};
    std::optional<QPoint> searchingAt;
    int empties = 0;
    for (const QString& query : queries) {
        SCOPED_TRACE(query.toStdString());
        model->setQuery(query);
        ASSERT_EQ(pane.content(), Content::searching);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        EXPECT_TRUE(searchingIndicator->isVisible());
        // The loading state's place, below the search field that has come.
        EXPECT_EQ(inPane(searchingIndicator).x(), indicatorAt.x());
        EXPECT_EQ(inPane(searchingLabel).x(), labelAt.x());
        if (!searchingAt) searchingAt = inPane(searchingLabel);
        EXPECT_EQ(inPane(searchingLabel), *searchingAt);
        if (query == u"名前はまだ"_s) shot().save(test::testArtifactPath(u"history-pane-searching.png"_s));
        ASSERT_TRUE(processEventsUntil([&] { return pane.content() != Content::searching; }));
        EXPECT_FALSE(searchingIndicator->isAnimating());
        if (pane.content() == Content::empty) {
            ++empties;
            EXPECT_EQ(inPane(pane.emptyTitle()).y(), searchingAt->y());
            EXPECT_EQ(inPane(pane.emptyTitle()).x(), indicatorAt.x());
        }
    }
    EXPECT_EQ(empties, 2);
}

// The "…" button of the selected row: no plate in any state, only the tint's wash while hovered
// (stronger while pressed); focused, the ring lies outside its square; its dots are those the rows
// paint where the button is not, pixel for pixel, also when the list's scroll bar narrows the rows.
TEST_F(ReaderHistoryPaneLookTest, RowMenuButtonHasNoPlateAndItsRingOutside) {
    // More rows than fit, so the list's scroll bar narrows the rows.
    for (int index = 1; index <= 12; ++index) played(reading(u"読みもの %1"_s.arg(index), u"本文です。"_s));
    ReaderHistoryPane& pane = show(300);
    load();
    ASSERT_EQ(model->visibleItems().size(), 12);
    model->select(model->visibleItems().at(1).id());
    ReaderHistoryTable& table = *pane.table();
    ASSERT_TRUE(processEventsUntil([&] { return table.menuButtonRow() == 1; }));
    QToolButton* button = table.menuButton();
    QListView* list = table.listView();
    ASSERT_TRUE(list->verticalScrollBar()->isVisible());
    EXPECT_TRUE(processEventsUntil([&] { return button->geometry().right() < list->viewport()->width(); }));
    constexpr int kMargin = ReaderHistoryTable::kMenuButtonRingMargin;
    const QRect square(inPane(button) + QPoint(kMargin, kMargin),
                       QSize(ReaderMenuIconButton::kSize, ReaderMenuIconButton::kSize));
    const QPainterPath around = aroundGlyph(square, 1);
    const QColor row = toQColor(ReaderPalette::selectedControl);
    const QColor tint = toQColor(ReaderPalette::control);
    const QPoint ringPixel(square.left() - 1, square.center().y());

    const QImage idle = shot();
    EXPECT_TRUE(noPixelLighter(idle, around, row));
    EXPECT_TRUE(near(idle.pixelColor(square.center() + QPoint(1, 1)), tint));
    EXPECT_TRUE(near(idle.pixelColor(ringPixel), row));

    const QPointF inside(button->width() / 2.0, 4);
    QHoverEvent enter(QEvent::HoverEnter, inside, button->mapToGlobal(inside), QPointF(-1, -1));
    QApplication::sendEvent(button, &enter);
    button->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(button->hasFocus());
    const QImage hovered = shot();
    hovered.save(test::testArtifactPath(u"history-pane-row-button-hovered-focused.png"_s));
    const QColor wash = over(row, tint, 0.06);
    EXPECT_TRUE(noPixelLighter(hovered, around, wash));
    EXPECT_TRUE(near(hovered.pixelColor(square.topLeft() + QPoint(4, 4)), wash));
    EXPECT_TRUE(near(hovered.pixelColor(ringPixel), toQColor(ReaderPalette::focus)));
    EXPECT_TRUE(near(hovered.pixelColor(square.center() + QPoint(1, 1)), tint));

    button->setDown(true);
    const QImage pressed = shot();
    EXPECT_TRUE(noPixelLighter(pressed, around, over(row, tint, 0.12)));
    EXPECT_TRUE(near(pressed.pixelColor(square.topLeft() + QPoint(4, 4)), over(row, tint, 0.12)));
    button->setDown(false);
    QHoverEvent leave(QEvent::HoverLeave, QPointF(-1, -1), QPointF(-1, -1), inside);
    QApplication::sendEvent(button, &leave);
    button->clearFocus();

    // The pointer over the first row takes the button there; its glyph is the one the row painted.
    const QRect firstRow = list->visualRect(list->model()->index(0, 0));
    const QRect firstSquare = square.translated(0, firstRow.top() - list->visualRect(list->model()->index(1, 0)).top());
    const QImage painted = shot().copy(firstSquare);
    const QPointF overRow(firstRow.center());
    QMouseEvent move(QEvent::MouseMove, overRow, list->viewport()->mapToGlobal(overRow), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &move);
    ASSERT_EQ(table.menuButtonRow(), 0);
    EXPECT_EQ(inPane(button) + QPoint(kMargin, kMargin), firstSquare.topLeft());
    EXPECT_EQ(shot().copy(firstSquare), painted);

    // The history menu's button in the header: no plate either, its ring inside its square.
    QToolButton* header = pane.historyMenuButton();
    const QRect headerSquare(inPane(header), header->size());
    const QColor sidebar = toQColor(ReaderPalette::sidebar);
    QHoverEvent overHeader(QEvent::HoverEnter, QPointF(header->width() / 2.0, 4),
                           header->mapToGlobal(QPointF(header->width() / 2.0, 4)), QPointF(-1, -1));
    QApplication::sendEvent(header, &overHeader);
    header->setFocus(Qt::TabFocusReason);
    const QImage headerShot = shot();
    EXPECT_TRUE(noPixelLighter(headerShot, aroundGlyph(headerSquare, 3), over(sidebar, tint, 0.06)));
    EXPECT_TRUE(near(headerShot.pixelColor(headerSquare.left() + 1, headerSquare.center().y()),
                     toQColor(ReaderPalette::focus)));
    EXPECT_TRUE(near(headerShot.pixelColor(headerSquare.center() + QPoint(1, 1)), tint));
}

// The file progress row at the list's narrowest, default and widest widths: the label whole on one
// line, the cancel button beside it when there is room and under it when not, nothing past the pane.
TEST_F(ReaderHistoryPaneLookTest, FileProgressRowKeepsItsLabelWholeAtEveryListWidth) {
    ReaderHistoryPane& pane = show(300);
    load();
    gate = std::make_shared<Gate>();
    const QString path = files.write(u"短い文.txt"_s, "短い文章です。");
    model->beginFileImport(ReaderHistoryModel::passThroughURL(QUrl::fromLocalFile(path)));
    ReaderFileProgressRow& row = *pane.fileProgress();
    ASSERT_TRUE(processEventsUntil([&] { return row.isVisible(); }));
    QLabel* label = row.label();
    QPushButton* cancel = row.cancelButton();
    EXPECT_EQ(label->text(), u"ファイルを読み込み中"_s);
    EXPECT_EQ(row.indicator()->accessibleName(), label->text());

    for (const int width : {240, 300, 420}) {
        SCOPED_TRACE(width);
        pane.resize(width, 600);
        ASSERT_TRUE(processEventsUntil([&] { return row.width() == width - 32; }));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QFontMetrics metrics(label->font());
        EXPECT_LT(label->height(), 2 * metrics.lineSpacing());
        EXPECT_GE(label->width(), metrics.horizontalAdvance(label->text()));
        EXPECT_TRUE(cancel->isVisible());
        EXPECT_FALSE(cancel->geometry().intersects(label->geometry()));
        EXPECT_LE(inPane(cancel).x() + cancel->width(), width - 16);
        EXPECT_LE(inPane(label).x() + label->width(), width - 16);
        // The row is as tall as it draws, so nothing below it overlaps.
        EXPECT_GE(row.height(), cancel->geometry().bottom() + 1);
        if (width == 420) {
            EXPECT_FALSE(row.stacksButton());
            EXPECT_EQ(cancel->geometry().center().y(), label->geometry().center().y());
        }
        if (width == 240) {
            EXPECT_TRUE(row.stacksButton());
            EXPECT_GT(cancel->y(), label->geometry().bottom());
            EXPECT_EQ(cancel->x(), label->x());
        }
        shot().save(test::testArtifactPath(u"history-pane-file-progress-%1.png"_s.arg(width)));
    }
    cancel->click();
    gate->release();
    ASSERT_TRUE(processEventsUntil([&] { return !row.isVisible(); }));

    // Saving cannot be cancelled: the label alone, on one line at the narrowest width.
    row.setSaving(true);
    EXPECT_EQ(label->text(), u"ファイルを保存中"_s);
    EXPECT_TRUE(cancel->isHidden());
    EXPECT_EQ(row.heightForWidth(208), row.minimumSizeHint().height());
}

// A store operation shows the busy indicator for as long as it runs.
TEST_F(ReaderHistoryPaneLookTest, BusyIndicatorShowsWhileAStoreOperationRuns) {
    const SavedReading kept = reading(u"夏の日"_s, u"本文です。"_s);
    played(kept);
    ReaderHistoryPane& pane = show(300);
    load();
    QListView* list = pane.table()->listView();
    ASSERT_TRUE(processEventsUntil([&] { return list->visualRect(list->model()->index(0, 0)).isValid(); }));
    EXPECT_FALSE(pane.busyIndicator()->isVisible());
    auto adding = model->addToLibrary(kept.id);
    ASSERT_TRUE(model->isBusy());
    EXPECT_TRUE(pane.busyIndicator()->isVisible());
    EXPECT_TRUE(pane.busyIndicator()->isAnimating());
    shot().save(test::testArtifactPath(u"history-pane-busy.png"_s));
    const int phase = pane.busyIndicator()->phase();
    EXPECT_TRUE(processEventsUntil([&] { return pane.busyIndicator()->phase() != phase || !model->isBusy(); }));
    ASSERT_TRUE(processEventsUntil([&] { return !model->isBusy(); }));
    EXPECT_FALSE(pane.busyIndicator()->isVisible());
    EXPECT_FALSE(pane.busyIndicator()->isAnimating());
    EXPECT_TRUE(runTask(std::move(adding)));
}

}  // namespace
}  // namespace tavrine
