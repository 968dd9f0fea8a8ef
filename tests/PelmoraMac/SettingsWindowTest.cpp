// The settings window on the offscreen platform: its tabs and texts, the size steppers at their bounds,
// the pane toggles, its reports of being active, and the hot-key rows with their recorder.
#include "PelmoraMac/App/ApplicationCapture.h"
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "PelmoraMac/Settings/BrowserConsentList.h"
#include "PelmoraMac/Settings/CaptureSettingsTab.h"
#include "PelmoraMac/Settings/ReaderSettingsView.h"
#include "PelmoraMac/Settings/ReadingSettingsTab.h"
#include "PelmoraMac/Settings/ShortcutRecorder.h"
#include "PelmoraMac/Settings/ShortcutSetting.h"
#include "PelmoraMac/Window/ReaderCaptureStrip.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowRoot.h"
#include "PelmoraMac/Window/ReaderWindowState.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"
#include "ReaderUI/Player/ReadingPlayer.h"

#include "AppTesting.h"
#include "ReaderWidgets/Style/PhraseLineBreaks.h"
#include "support/EventLoop.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QWindow>

// Qt's own entry for a key from the window system: shortcuts are matched as for a real key.
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow* window, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
                                    const QString& text = QString(), bool autorep = false, ushort count = 1);

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using S = GlobalCaptureShortcut;
using Target = ReaderTextSizeSettings::Target;

void press(QWidget& widget, int key, Qt::KeyboardModifiers modifiers = {}, bool autoRepeat = false) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(&widget, &event);
}

class SettingsWindow : public testing::Test {
protected:
    SettingsWindow() : under(folder.filePath(u"reading-store.json"_s), hotKeys.function()) {
        app().openReader();
        app().openSettings();
    }
    PelmoraApp& app() { return *under.app; }
    ReaderSettingsView& window() { return app().settingsWindow(); }
    ReaderTextSizeSettings& sizes() { return app().playback().player().textSizes(); }

    test::TemporaryDirectory folder;
    test::FakeHotKeys hotKeys;
    test::AppUnderTest under;
};

TEST_F(SettingsWindow, ThreeTabsWithTheirTextsInAWindowOfFixedSize) {
    QTabWidget& tabs = window().tabs();
    ASSERT_EQ(tabs.count(), 3);
    EXPECT_EQ(tabs.tabText(0), u"読書"_s);
    EXPECT_EQ(tabs.tabText(1), u"取り込みと連携"_s);
    EXPECT_EQ(tabs.tabText(2), u"アップデート"_s);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(tabs.tabIcon(i).isNull());
    EXPECT_EQ(window().size(), QSize(580, 560));
    EXPECT_EQ(window().windowTitle(), u"読書"_s);

    const ReadingSettingsTab& reading = window().readingTab();
    EXPECT_EQ(reading.rsvpRow().label->text(), u"RSVP：34 pt"_s);
    EXPECT_EQ(reading.sourceRow().label->text(), u"原文：15 pt"_s);
    EXPECT_EQ(reading.rsvpRow().smaller->text(), u"−"_s);
    EXPECT_EQ(reading.showsSourceToggle().text(), u"原文を表示"_s);
    EXPECT_EQ(reading.showsHistoryToggle().text(), u"文書一覧を表示"_s);

    const CaptureSettingsTab& capture = window().captureTab();
    EXPECT_EQ(capture.shortcutRow().currentLine().text(), u"現在の設定：Meta+Ctrl+Alt+R（登録済み）"_s);
    EXPECT_EQ(capture.clipboardShortcutRow().currentLine().text(), u"現在の設定：Meta+Ctrl+Alt+V（登録済み）"_s);
    EXPECT_EQ(capture.shortcutRow().recorder().text(), u"キーを変更…"_s);
    EXPECT_EQ(capture.shortcutRow().recorder().accessibleName(), u"ショートカットのキーを変更"_s);
    EXPECT_EQ(capture.shortcutRow().recorder().size(), QSize(190, 28));
    EXPECT_EQ(capture.accessibilityStatus().text(), u"アクセシビリティ：未許可"_s);
    EXPECT_FALSE(capture.deniedHint().isHidden());
    EXPECT_TRUE(capture.browserButton().isHidden());
    const auto texts = [](QWidget& parent) {
        QStringList all;
        for (const QLabel* label : parent.findChildren<QLabel*>()) all << label->text();
        return all.join(u'\n');
    };
    EXPECT_TRUE(texts(window().captureTab()).contains(u"CtrlとMetaまたはAltに、英字・数字を組み合わせます。"_s));

    // What a person sees, tab by tab.
    for (int i = 0; i < 3; ++i) {
        tabs.setCurrentIndex(i);
        EXPECT_EQ(window().windowTitle(), tabs.tabText(i));
        ASSERT_TRUE(window().grab().save(test::testArtifactPath(u"settings-tab-%1.png"_s.arg(i + 1))));
    }
}

TEST_F(SettingsWindow, TheSizeSteppersStayInTheirRangesAndResetOnlyAwayFromTheDefault) {
    const ReadingSettingsTab& tab = window().readingTab();
    const auto& rsvp = tab.rsvpRow();
    EXPECT_FALSE(rsvp.reset->isEnabled());
    EXPECT_FALSE(tab.sourceRow().reset->isEnabled());

    rsvp.bigger->click();
    EXPECT_EQ(rsvp.label->text(), u"RSVP：36 pt"_s);
    EXPECT_EQ(app().defaults().object(ReaderTextSizeSettings::kRSVPPointSizeKey), DefaultsValue(36.0));
    EXPECT_TRUE(rsvp.reset->isEnabled());
    rsvp.reset->click();
    EXPECT_EQ(sizes().pointSize(Target::rsvp), 34);
    EXPECT_FALSE(rsvp.reset->isEnabled());

    // An odd size stored by hand steps to the bound, not past it.
    sizes().setPointSize(71, Target::rsvp);
    EXPECT_TRUE(rsvp.bigger->isEnabled());
    rsvp.bigger->click();
    EXPECT_EQ(sizes().pointSize(Target::rsvp), 72);
    EXPECT_FALSE(rsvp.bigger->isEnabled());
    sizes().setPointSize(18, Target::rsvp);
    EXPECT_FALSE(rsvp.smaller->isEnabled());

    const auto& source = tab.sourceRow();
    sizes().setPointSize(11, Target::source);
    source.smaller->click();
    EXPECT_EQ(source.label->text(), u"原文：10 pt"_s);
    EXPECT_FALSE(source.smaller->isEnabled());
    sizes().setPointSize(32, Target::source);
    EXPECT_FALSE(source.bigger->isEnabled());
    EXPECT_EQ(app().defaults().object(ReaderTextSizeSettings::kSourcePointSizeKey), DefaultsValue(32.0));
}

TEST_F(SettingsWindow, ThePaneTogglesAreTheSamePreferencesTheViewMenuToggles) {
    QCheckBox& history = window().readingTab().showsHistoryToggle();
    ReaderPresentation& panes = app().presentation();
    const bool before = panes.prefersHistory();
    EXPECT_EQ(history.isChecked(), before);
    history.click();
    EXPECT_EQ(panes.prefersHistory(), !before);
    EXPECT_EQ(app().defaults().object(ReaderPresentation::kShowsHistoryKey), DefaultsValue(!before));
    app().toggleSource();
    EXPECT_EQ(window().readingTab().showsSourceToggle().isChecked(), panes.prefersSource());
}

TEST_F(SettingsWindow, ItReportsFalseWhenShownItsStateOneTurnLaterAndBlocksTheReaderWhileActive) {
    app().openSample();
    window().hide();
    app().windowState().setSettingsHasFocus(true);
    window().show();
    // Hidden, then shown: false at once.
    EXPECT_FALSE(app().windowState().settingsHasFocus());
    window().activateWindow();
    ASSERT_TRUE(test::processEventsUntil([&] { return app().windowState().settingsHasFocus(); }));
    EXPECT_TRUE(app().windowState().commandContext().isBlocked);
    app().requestPlayback(ReaderPlaybackRequest::Action::togglePlayback);
    EXPECT_FALSE(app().windowState().playbackRequest());

    window().close();
    EXPECT_FALSE(app().windowState().settingsHasFocus());
    EXPECT_FALSE(app().windowState().commandContext().isBlocked);
}

// Ctrl+W closes the window, as its title bar does; while the recorder records, the chord is its own.
TEST_F(SettingsWindow, CtrlWClosesItUnlessTheRecorderTakesTheChord) {
    const auto ctrlW = [&] {
        QWindow* target = window().windowHandle();
        qt_handleKeyEvent(target, QEvent::KeyPress, Qt::Key_W, Qt::ControlModifier);
        qt_handleKeyEvent(target, QEvent::KeyRelease, Qt::Key_W, Qt::ControlModifier);
    };
    window().activateWindow();
    ASSERT_TRUE(test::processEventsUntil([&] { return window().isActiveWindow(); }));
    ShortcutRecorder& recorder = window().captureTab().shortcutRow().recorder();
    window().tabs().setCurrentWidget(&window().captureTab());
    recorder.click();
    ASSERT_TRUE(recorder.isRecording());
    ctrlW();
    EXPECT_TRUE(window().isVisible());
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorder.text(), u"Ctrl+W"_s);

    ctrlW();
    EXPECT_FALSE(window().isVisible());
    EXPECT_FALSE(app().windowState().settingsHasFocus());
}

class ShortcutRow : public SettingsWindow {
protected:
    ShortcutSetting& row() { return window().captureTab().shortcutRow(); }
    ShortcutRecorder& recorder() { return row().recorder(); }
    void record(int key, Qt::KeyboardModifiers modifiers) {
        recorder().click();
        ASSERT_TRUE(recorder().isRecording());
        press(recorder(), key, modifiers);
    }
};

TEST_F(ShortcutRow, TheRecorderTakesOneChordAndIgnoresModifiersAloneRepeatsEscapeAndTab) {
    window().activateWindow();
    recorder().click();
    EXPECT_EQ(recorder().text(), u"組み合わせを押してください…"_s);
    // While recording the hot keys let their chords through.
    EXPECT_TRUE(hotKeys.grabs.empty());
    EXPECT_TRUE(app().shortcut().isRegistered());

    press(recorder(), Qt::Key_Control, Qt::ControlModifier);
    press(recorder(), Qt::Key_Super_L, Qt::ControlModifier | Qt::MetaModifier);
    press(recorder(), Qt::Key_R, {}, /*autoRepeat=*/true);
    EXPECT_TRUE(recorder().isRecording());
    // A key that fires a shortcut elsewhere comes to the recorder.
    QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Q, Qt::ControlModifier);
    override.ignore();
    QApplication::sendEvent(&recorder(), &override);
    EXPECT_TRUE(override.isAccepted());

    press(recorder(), Qt::Key_Escape);
    EXPECT_FALSE(recorder().isRecording());
    EXPECT_EQ(recorder().text(), u"キーを変更…"_s);
    EXPECT_FALSE(row().draft());
    EXPECT_EQ(hotKeys.grabs.size(), 2u);

    record(Qt::Key_R, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::ShiftModifier);
    ASSERT_TRUE(row().draft());
    EXPECT_EQ(recorder().text(), u"Meta+Ctrl+Alt+Shift+R"_s);
    EXPECT_TRUE(row().saveButton().isEnabled());

    // Tab ends the recording with no chord: the draft stays as it was.
    record(Qt::Key_Tab, {});
    EXPECT_FALSE(recorder().isRecording());
    EXPECT_EQ(recorder().text(), u"Meta+Ctrl+Alt+Shift+R"_s);
}

TEST_F(ShortcutRow, SavingRefusesPlainKeysAndTheOtherChordKeepingTheDraftAndStoresAGoodOne) {
    record(Qt::Key_A, {});
    row().save();
    EXPECT_EQ(row().errorLabel().text(),
              u"CtrlとMetaまたはAltを含む、英字・数字の組み合わせを押してください。通常の文字入力は登録できません。"_s);
    EXPECT_FALSE(row().errorLabel().isHidden());
    EXPECT_EQ(recorder().text(), u"A"_s);

    record(Qt::Key_V, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    row().save();
    EXPECT_EQ(row().errorLabel().text(), u"もう一つの取り込み操作と同じキーです。別の組み合わせを選んでください。"_s);
    EXPECT_TRUE(row().draft());
    EXPECT_EQ(app().shortcut().chord(), S::defaultChord(S::Command::frontmost));
    EXPECT_FALSE(row().resetButton().isEnabled());

    record(Qt::Key_1, Qt::ControlModifier | Qt::AltModifier);
    row().saveButton().click();
    EXPECT_FALSE(row().draft());
    EXPECT_TRUE(row().errorLabel().isHidden());
    EXPECT_EQ(recorder().text(), u"キーを変更…"_s);
    EXPECT_FALSE(row().saveButton().isEnabled());
    EXPECT_EQ(row().currentLine().text(), u"現在の設定：Ctrl+Alt+1（登録済み）"_s);
    EXPECT_EQ(app().defaults().object(u"reader.mac.captureShortcut.1"_s),
              DefaultsValue(QByteArray(R"({"keyCode":18,"modifiers":2304})")));
    EXPECT_TRUE(hotKeys.grabs.contains({18, S::kCtrlKey | S::kAltKey}));
    EXPECT_TRUE(row().resetButton().isEnabled());
    row().resetButton().click();
    EXPECT_EQ(app().shortcut().chord(), S::defaultChord(S::Command::frontmost));
    EXPECT_FALSE(row().resetButton().isEnabled());
}

TEST_F(ShortcutRow, AFailedRegistrationShowsUnregisteredAndLeavesResetEnabledAtTheDefault) {
    app().shortcut().stop();
    hotKeys.failWith = S::kAlreadyRegistered;
    app().registerShortcuts();
    EXPECT_EQ(row().currentLine().text(), u"現在の設定：Meta+Ctrl+Alt+R（未登録）"_s);
    EXPECT_TRUE(row().resetButton().isEnabled());
    EXPECT_TRUE(row().errorLabel().text().startsWith(u"このキーは既に登録されています。"_s));
    hotKeys.failWith.reset();
    window().captureTab().retryButton().click();
    EXPECT_EQ(row().currentLine().text(), u"現在の設定：Meta+Ctrl+Alt+R（登録済み）"_s);
    EXPECT_FALSE(row().resetButton().isEnabled());
}

TEST(CaptureSettings, ThePermissionStateFollowsTheModelWithoutAPress) {
    bool granted = false;
    CaptureModel capture(nullptr, CaptureModel::Functions{.permissionCheck = [&] { return granted; }});
    MemoryDefaults defaults;
    test::FakeHotKeys hotKeys;
    S frontmost(S::Command::frontmost, defaults, hotKeys.function());
    S clipboard(S::Command::clipboard, defaults, hotKeys.function());
    BrowserAutomationConsent consent(defaults, {});
    CaptureSettingsTab tab(capture, consent, frontmost, clipboard, {});
    EXPECT_EQ(tab.accessibilityStatus().text(), u"アクセシビリティ：未許可"_s);
    EXPECT_FALSE(tab.deniedHint().isHidden());
    granted = true;
    capture.refreshPermission();
    EXPECT_EQ(tab.accessibilityStatus().text(), u"アクセシビリティ：許可済み"_s);
    EXPECT_TRUE(tab.deniedHint().isHidden());
    EXPECT_TRUE(tab.browserStatus().isHidden());
}

// An application whose capture reads `source` as its browser consent allows: the desktop as the
// application's capture sees it, with Chromium and Google Chrome installed and the consent dialog over the
// window the application names.
std::function<void(PelmoraApp::Configuration&)> consentingDesktop(std::optional<CaptureSource>& source) {
    using Browser = BrowserAutomationConsent::Browser;
    return [&source](PelmoraApp::Configuration& configuration) {
        configuration.installedBrowsers = [] {
            return QList<Browser>{{.id = u"chromium"_s, .name = u"Chromium"_s},
                                  {.id = u"google-chrome"_s, .name = u"Google Chrome"_s}};
        };
        configuration.captureFunctions = [&source](BrowserAutomationConsent& consent,
                                                   std::function<QWidget*()> consentOwner) {
            return CaptureModel::Functions{
                .permissionCheck = [] { return true; },
                .sourceProvider = [&source] { return source; },
                .captureOperation = [&consent](const CaptureSource& from) -> CaptureModel::CaptureWork {
                    const int permission = consent.permission(from.browserId);
                    return [permission](const CancellationToken&) -> CaptureResult<PreparedCapture> {
                        if (permission == kAutomationUndecided)
                            return tl::unexpected(CaptureFailure::automationRequired);
                        if (permission != kAutomationAllowed) return tl::unexpected(CaptureFailure::automationDenied);
                        return PreparedCapture{.document = {std::nullopt, u"記事"_s, {}}, .isBody = true};
                    };
                },
                .automationRequest =
                    [&consent, consentOwner](const QString& id, const QString& name, bool always,
                                             CaptureModel::AutomationAnswer answer) {
                        askBrowserConsent(consent, id, name, always, std::move(answer), consentOwner());
                    },
            };
        };
    };
}

// The consent dialog once it shows; nothing when none shows.
QMessageBox* shownConsentDialog() {
    QMessageBox* box = nullptr;
    test::processEventsUntil([&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<QMessageBox*>(widget); found && found->isVisible()) box = found;
        }
        return box != nullptr;
    });
    return box;
}

void answerConsent(QMessageBox& box, const QString& button) {
    for (QAbstractButton* candidate : box.buttons()) {
        if (candidate->text() == button) candidate->click();
    }
}

// The browser's consent in the application: each browser's answer listed in the capture tab; a refusal
// asked again from the capture strip and allowed shows at once in the strip and the tab; withdrawn in the
// tab, the next capture from that browser asks again, while the other browser's answer stays.
TEST(BrowserConsentSettings, AnAnswerShowsAtOnceAndIsWithdrawnInTheCaptureTab) {
    std::optional<CaptureSource> source =
        CaptureSource{.pid = 9, .name = u"Chromium"_s, .browser = ArticleBrowser::chrome, .browserId = u"chromium"_s};
    const auto configure = consentingDesktop(source);
    test::TemporaryDirectory folder;
    test::FakeHotKeys hotKeys;
    test::AppUnderTest under(folder.filePath(u"reading-store.json"_s), hotKeys.function(), configure);
    PelmoraApp& app = *under.app;
    CaptureModel& capture = app.capture();
    app.openReader();
    ASSERT_TRUE(test::processEventsUntil([&] { return app.history() && app.history()->isLoaded(); }));
    const auto captureNow = [&](std::optional<CaptureFailure> expected) {
        capture.captureFrontmost({});
        ASSERT_TRUE(test::processEventsUntil([&] { return !capture.isCapturing(); }));
        EXPECT_EQ(capture.failure(), expected);
    };
    const auto rowTexts = [&](const BrowserConsentList& list) {
        QStringList texts;
        for (const auto& row : list.rows()) {
            texts << row.status->text() +
                         (row.withdraw->isHidden() ? QString() : u" ["_s + row.withdraw->text() + u"]"_s);
        }
        return texts;
    };
    app.browserConsent().setAllowed(u"chromium"_s, false);
    captureNow(CaptureFailure::automationDenied);

    ReaderCaptureStrip& strip = app.readerRoot().captureStrip();
    QPushButton* askAgain = nullptr;
    for (QPushButton* button : strip.findChildren<QPushButton*>()) {
        if (button->text() == u"オートメーション設定を開く"_s) askAgain = button;
    }
    ASSERT_NE(askAgain, nullptr);
    ASSERT_TRUE(test::processEventsUntil([&] { return askAgain->isVisible(); }));
    app.openCaptureSettings();
    const CaptureSettingsTab& tab = app.settingsWindow().captureTab();
    EXPECT_EQ(tab.browserStatus().text(), u"Chromium：許可されていません"_s);
    EXPECT_EQ(rowTexts(tab.browserConsentList()),
              (QStringList{u"Chromium：許可されていません [回答を取り消す]"_s, u"Google Chrome：未確認"_s}));
    EXPECT_FALSE(tab.browserConsentList().caption().isHidden());

    askAgain->click();
    QMessageBox* box = shownConsentDialog();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(QString(box->text()).remove(kWordJoiner),
              u"TavrineからChromiumの表示中のページを読み取ることを許可しますか？"_s);
    // While the user answers, the strip does not ask again.
    EXPECT_TRUE(test::processEventsUntil([&] { return !askAgain->isEnabled(); }));
    answerConsent(*box, u"許可"_s);
    // At once: the failure is gone from the strip and the tab, and the tab lists the consent.
    EXPECT_FALSE(capture.failure());
    ASSERT_TRUE(test::processEventsUntil([&] { return !strip.isVisible(); }));
    EXPECT_TRUE(tab.browserStatus().isHidden());
    EXPECT_TRUE(tab.browserButton().isHidden());
    EXPECT_EQ(rowTexts(tab.browserConsentList()),
              (QStringList{u"Chromium：許可済み [許可を取り消す]"_s, u"Google Chrome：未確認"_s}));
    captureNow(std::nullopt);
    EXPECT_TRUE(capture.succeeded());

    // Google Chrome has its own consent.
    source->browserId = u"google-chrome"_s;
    source->name = u"Google Chrome"_s;
    captureNow(CaptureFailure::automationRequired);
    EXPECT_EQ(tab.browserStatus().text(), u"Google Chrome：許可が必要"_s);

    // Withdrawn in the tab: Chromium asks again, Google Chrome is as it was.
    tab.browserConsentList().rows().first().withdraw->click();
    EXPECT_EQ(app.browserConsent().permission(u"chromium"_s), kAutomationUndecided);
    EXPECT_EQ(rowTexts(tab.browserConsentList()), (QStringList{u"Chromium：未確認"_s, u"Google Chrome：未確認"_s}));
    source->browserId = u"chromium"_s;
    source->name = u"Chromium"_s;
    captureNow(CaptureFailure::automationRequired);
    app.settingsWindow().hide();
}

// The consent dialog belongs to the window it was asked from, the reader window for the capture strip's
// button and the settings window for the capture tab's: transient for it (a window manager keeps it there
// and never centres it on the screen instead), and centred on it.
TEST(BrowserConsentSettings, TheDialogComesUpCentredOverTheWindowItWasAskedFrom) {
    std::optional<CaptureSource> source =
        CaptureSource{.pid = 9, .name = u"Chromium"_s, .browser = ArticleBrowser::chrome, .browserId = u"chromium"_s};
    test::TemporaryDirectory folder;
    test::FakeHotKeys hotKeys;
    test::AppUnderTest under(folder.filePath(u"reading-store.json"_s), hotKeys.function(), consentingDesktop(source));
    PelmoraApp& app = *under.app;
    CaptureModel& capture = app.capture();
    app.openReader();
    ReaderWindow& reader = app.readerWindow();
    reader.activateWindow();
    ASSERT_TRUE(test::processEventsUntil([&] { return reader.isActiveWindow(); }));
    // Away from the middle of the screen, where a dialog of no window would come up.
    const QRect place(10, 20, 640, 600);
    reader.setGeometry(place);
    ASSERT_TRUE(test::processEventsUntil([&] { return reader.geometry() == place; }));
    capture.captureFrontmost({});
    ASSERT_TRUE(test::processEventsUntil([&] { return capture.failure() == CaptureFailure::automationRequired; }));
    const auto expectOver = [](const QMessageBox& box, const QWidget& window) {
        EXPECT_EQ(box.windowHandle()->transientParent(), window.windowHandle());
        const QPoint offset = box.frameGeometry().center() - window.frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << ", " << offset.y();
    };

    QPushButton* ask = nullptr;
    for (QPushButton* button : app.readerRoot().captureStrip().findChildren<QPushButton*>()) {
        if (button->text() == u"ブラウザー連携を許可"_s) ask = button;
    }
    ASSERT_NE(ask, nullptr);
    ASSERT_TRUE(test::processEventsUntil([&] { return ask->isVisible(); }));
    ask->click();
    QMessageBox* box = shownConsentDialog();
    ASSERT_NE(box, nullptr);
    expectOver(*box, reader);
    answerConsent(*box, u"許可しない"_s);
    ASSERT_TRUE(test::processEventsUntil([&] { return capture.failure() == CaptureFailure::automationDenied; }));

    app.openCaptureSettings();
    ReaderSettingsView& settings = app.settingsWindow();
    ASSERT_TRUE(test::processEventsUntil([&] { return settings.isActiveWindow(); }));
    settings.captureTab().browserButton().click();
    box = shownConsentDialog();
    ASSERT_NE(box, nullptr);
    expectOver(*box, settings);
    answerConsent(*box, u"許可しない"_s);
    settings.hide();
}

TEST(SettingsWindowPlace, CentredInTheAreaOrHeldToItsTopLeftCornerWhenLarger) {
    using V = ReaderSettingsView;
    const QRect second(1280, 24, 1280, 1000);
    EXPECT_EQ(V::centredFramePosition({580, 600}, second), QPoint(1280 + 350, 24 + 200));
    // An odd leftover puts the extra pixel after the window.
    EXPECT_EQ(V::centredFramePosition({581, 601}, second), QPoint(1280 + 349, 24 + 199));
    // Larger than the area on one side: that side starts at the area's edge, the other is still centred.
    EXPECT_EQ(V::centredFramePosition({1400, 600}, second), QPoint(1280, 24 + 200));
    EXPECT_EQ(V::centredFramePosition({580, 1200}, second), QPoint(1280 + 350, 24));
    EXPECT_EQ(V::centredFramePosition({580, 600}, QRect(-1280, -200, 1280, 1000)), QPoint(-1280 + 350, -200 + 200));
}

}  // namespace
}  // namespace tavrine
