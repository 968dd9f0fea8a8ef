// What a person sees of the reader's notices and of the dialogs Qt makes, on a real X server with openbox,
// with the application's look (the dark palette, Qt's texts in Japanese): the capture strip with its
// longest message at 600 and 1,200 pixels, the real reader window's strip at its narrowest and at 1,200,
// the file panel opened from the import menu, and a deletion confirmation. Screenshots in test-artifacts/
// (notices-*.png); the dialogs' backgrounds are read back from the screen.
#include "PelmoraMac/App/ApplicationLook.h"
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/Capture/CaptureMessages.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderHistoryPane.h"
#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "PelmoraMac/Window/ReaderCaptureStrip.h"
#include "PelmoraMac/Window/ReaderImportMenu.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowRoot.h"
#include "PelmoraMac/Window/ReaderWindowState.h"
#include "PelmoraMac/Window/ReaderWindowToolbar.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include "AppTesting.h"
#include "support/CheckoutPaths.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/StoreTesting.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QTranslator>
#include <QVBoxLayout>
#include <QWindow>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;
using test::runTask;

void settle(int milliseconds = 200) {
    processEventsUntil([] { return false; }, std::chrono::milliseconds(milliseconds));
}

void screenshot(const QString& name) {
    settle();
    QProcess process;
    process.start(test::inCheckout(X11_SCREENSHOT), {test::testArtifactPath(name)});
    ASSERT_TRUE(process.waitForFinished(test::patienceMilliseconds()));
    EXPECT_EQ(process.exitCode(), 0);
}

// The share of a window's pixels on the screen (decorations left out) that are as dark as the reader's
// background: a light dialog has nearly none, a dark one with some text nearly all.
double darkShare(QWidget& window) {
    settle();
    const QPoint origin = window.mapToGlobal(QPoint(0, 0));
    const QImage shot =
        window.screen()->grabWindow(0, origin.x(), origin.y(), window.width(), window.height()).toImage();
    if (shot.isNull()) return 0;
    qint64 dark = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (qGray(shot.pixel(x, y)) < 64) ++dark;
        }
    }
    return double(dark) / (double(shot.width()) * shot.height());
}

// The application's look for the length of a test: the dark palette for every window and Qt's texts in
// Japanese, taken back afterwards so that the other tests of the binary see Qt as it comes.
class ReaderNoticesX11 : public testing::Test {
protected:
    void SetUp() override {
        m_palette = QApplication::palette();
        applyApplicationLook(*qApp);
        ASSERT_FALSE(qApp->findChildren<QTranslator*>().isEmpty()) << "qtbase_ja.qm is missing";
    }
    void TearDown() override {
        for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QApplication::setPalette(m_palette);
    }

private:
    QPalette m_palette;
};

TEST_F(ReaderNoticesX11, TheCaptureStripShowsItsLongestMessageWholeAtEitherWidth) {
    // The longest failure text, after a capture from an application, with a document open.
    QString longest;
    CaptureFailure longestFailure = CaptureFailure::noSource;
    for (const CaptureFailure failure : enumCases<CaptureFailure>()) {
        const QString message = captureStatusMessage({.failure = failure,
                                                      .sourceName = u"テキストエディター"_s,
                                                      .sourceBrowser = ArticleBrowser::chrome,
                                                      .frontmostShortcutLabel = u"Meta+Ctrl+Alt+R"_s,
                                                      .clipboardShortcutLabel = u"Meta+Ctrl+Alt+V"_s});
        if (message.size() > longest.size()) {
            longest = message;
            longestFailure = failure;
        }
    }
    QWidget window;
    window.setWindowTitle(u"Tavrine"_s);
    ReaderTheme::apply(window);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* strip = new ReaderCaptureStrip({}, &window);
    strip->apply({.failure = longestFailure,
                  .message = longest,
                  .hasDocumentText = true,
                  .canRetryInSource = true,
                  .canImportClipboard = true,
                  .shortcutLabel = u"Meta+Ctrl+Alt+R"_s});
    layout->addWidget(strip);
    layout->addWidget(new QWidget(&window), 1);
    window.move(0, 0);
    window.show();
    for (const int width : {600, 1'200}) {
        window.resize(width, 620);
        QLabel* message = strip->failureNotice().messageLabel();
        // Once the window has its width, the strip's layout has been given the strip's rectangle at that width and
        // the message its lines: each is laid out on a later turn of its own, as late as a loaded machine makes it.
        EXPECT_TRUE(test::effectWithin([&] {
            return window.width() == width && strip->width() == width && strip->layout()->geometry() == strip->rect() &&
                   message->height() >= message->heightForWidth(message->width());
        })) << width
            << ": the strip " << strip->width() << " wide, its layout at " << strip->layout()->geometry().width()
            << ", the message " << message->height() << " high for " << message->heightForWidth(message->width());
        EXPECT_EQ(message->text(), longest);
        EXPECT_EQ(message->mapTo(strip, QPoint(message->width(), 0)).x(), strip->layout()->contentsRect().right() + 1);
        screenshot(u"notices-capture-strip-%1.png"_s.arg(width));
    }
}

TEST_F(ReaderNoticesX11, TheReaderWindowShowsACaptureFailureAndBothHotKeyErrors) {
    test::FakeHotKeys keys;
    keys.failWith = GlobalCaptureShortcut::kAlreadyRegistered;
    test::TemporaryDirectory folder;
    test::AppUnderTest under(folder.filePath(u"reading-store.json"_s), keys.function());
    PelmoraApp& app = *under.app;
    app.openReader();
    ReaderWindow& window = app.readerWindow();
    // Sizes are asked for only once the window is on screen: one asked for while the window manager maps it may be
    // lost to the size it maps.
    ASSERT_TRUE(test::effectWithin([&] {
        return window.isVisible() && window.windowHandle() && window.windowHandle()->isExposed() && app.history() &&
               app.history()->isLoaded();
    }));
    app.openSample();
    // Without the desktop's captures no application is in front: the capture fails at once.
    app.captureFrontmostFromHotKey();
    ReaderCaptureStrip& strip = app.readerRoot().captureStrip();
    ASSERT_TRUE(test::effectWithin([&] { return strip.isVisible() && strip.failureNotice().isVisible(); }));
    for (const int width : {ReaderWindow::kMinimumContentSize.width(), 1'200}) {
        window.resize(width, 720);
        // Once the window has its width, the strip's layout has been given the strip's rectangle and the strip
        // has laid its lines out for it, as late as a loaded machine makes it.
        EXPECT_TRUE(test::effectWithin([&] {
            if (window.width() != width || strip.layout()->geometry() != strip.rect()) return false;
            for (const QLabel* label : strip.findChildren<QLabel*>()) {
                if (label->isVisible() && label->height() < label->heightForWidth(label->width())) return false;
            }
            return true;
        })) << width;
        int texts = 0;
        for (const QLabel* label : strip.findChildren<QLabel*>()) {
            if (!label->isVisible() || label->text().isEmpty()) continue;
            ++texts;
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->text().toStdString();
            EXPECT_EQ(label->mapTo(&strip, QPoint(label->width(), 0)).x(), strip.layout()->contentsRect().right() + 1)
                << label->text().toStdString();
        }
        // The notice, the two captions and the two hot-key errors.
        EXPECT_EQ(texts, 5) << width;
        screenshot(u"notices-reader-window-%1.png"_s.arg(width));
    }
    window.hide();
}

TEST_F(ReaderNoticesX11, TheFilePanelOfTheImportMenuIsJapaneseDarkAndAtHome) {
    test::TemporaryDirectory folder;
    test::AppUnderTest under(folder.filePath(u"reading-store.json"_s));
    PelmoraApp& app = *under.app;
    app.openReader();
    ReaderWindow& window = app.readerWindow();
    window.resize(900, 720);
    ASSERT_TRUE(test::effectWithin([&] { return window.isVisible() && app.history() && app.history()->isLoaded(); }));
    ASSERT_TRUE(test::effectWithin([&] { return app.readerToolbar().importMenu().importFileAction().isEnabled(); }));
    app.readerToolbar().importMenu().importFileAction().trigger();
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(test::effectWithin([&] {
        panel = window.findChild<QFileDialog*>(u"libraryFilePanel"_s);
        return panel && panel->isVisible();
    }));
    EXPECT_EQ(QFileInfo(panel->directory().path()).canonicalFilePath(),
              QFileInfo(QDir::homePath()).canonicalFilePath());
    auto* buttons = panel->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    QStringList texts;
    for (const QAbstractButton* button : buttons->buttons()) texts.append(button->text());
    EXPECT_TRUE(texts.filter(u"開く"_s).size() == 1) << texts.join(u", "_s).toStdString();
    EXPECT_TRUE(texts.contains(u"キャンセル"_s)) << texts.join(u", "_s).toStdString();
    QStringList labels;
    for (const QLabel* label : panel->findChildren<QLabel*>()) labels.append(label->text());
    EXPECT_TRUE(labels.contains(u"ファイル名(&N):"_s)) << labels.join(u", "_s).toStdString();
    EXPECT_GT(darkShare(*panel), 0.5);
    screenshot(u"notices-file-panel.png"_s);
    panel->reject();
    ASSERT_TRUE(test::effectWithin([&] { return !app.windowState().commandContext().isBlocked; }));
    window.hide();
}

TEST_F(ReaderNoticesX11, ADeletionConfirmationIsDark) {
    test::TemporaryDirectory folder;
    const QString storeFile = folder.filePath(u"reading-store.json"_s);
    {
        // One reading read before, so that the history has something to clear.
        auto opened = ReadingStore::open(storeFile);
        ASSERT_TRUE(opened.has_value());
        std::shared_ptr<ReadingStore> store = std::move(*opened);
        ASSERT_TRUE(runTask(store->setHistoryEnabled(true)).has_value());
        const SavedReading reading{.id = QUuid::createUuid(),
                                   .document = {.sections = {}, .text = u"吾輩は猫である。"_s, .spans = {}},
                                   .title = u"猫"_s,
                                   .epub = std::nullopt,
                                   .source = std::nullopt,
                                   .importedAt = {}};
        ASSERT_TRUE(runTask(store->recordPlayback(reading, Date{1}, ReadingProgress{})).has_value());
        ASSERT_TRUE(test::releaseStore(store));
    }
    test::AppUnderTest under(storeFile);
    PelmoraApp& app = *under.app;
    app.presentation().setPrefersHistory(true);
    app.openReader();
    ReaderWindow& window = app.readerWindow();
    ASSERT_TRUE(test::effectWithin([&] {
        return window.isVisible() && window.windowHandle() && window.windowHandle()->isExposed() && app.history() &&
               app.history()->isLoaded();
    }));
    // Wide enough for the list beside the reader. Asked for only once the window is on screen: a size asked
    // for while the window manager maps it may be lost to the size it maps.
    window.resize(1'000, 720);
    ASSERT_TRUE(test::effectWithin([&] { return window.width() == 1'000; }));
    ASSERT_EQ(app.history()->history().size(), 1);
    ReaderHistoryPane* pane = app.readerRoot().findChild<ReaderHistoryPane*>();
    ASSERT_NE(pane, nullptr);
    ASSERT_TRUE(test::effectWithin([&] { return pane->isVisible(); }));
    pane->historyMenuButton()->menu()->actions().first()->trigger();
    ASSERT_TRUE(test::effectWithin([&] { return pane->alert() && pane->alert()->isVisible(); }));
    QMessageBox& alert = *pane->alert();
    EXPECT_EQ(alert.palette().color(QPalette::Window), toQColor(ReaderPalette::background));
    EXPECT_GT(darkShare(alert), 0.6);
    screenshot(u"notices-confirmation.png"_s);
    alert.reject();
    window.hide();
}

}  // namespace
}  // namespace tavrine
