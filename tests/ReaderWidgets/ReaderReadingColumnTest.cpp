// The reading column as a person works it, with real key and mouse events on the offscreen platform:
// Space on the display, a drag and the arrows on the progress slider, playing at the fastest speed with
// the slider following, the speed keys at both ends, the transport row with and without chapters, a
// focus request, the clipboard row, what assistive technology reads, and screenshots of the column.
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderDocumentContext.h"
#include "ReaderUI/Workspace/ReaderSourceViewBinding.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Display/PhraseWidthMeasurer.h"
#include "ReaderWidgets/Display/ReaderRSVPDisplay.h"
#include "ReaderWidgets/Style/ReaderReadingControlButton.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Workspace/ReaderDoubleSlider.h"
#include "ReaderWidgets/Workspace/ReaderProgressControl.h"
#include "ReaderWidgets/Workspace/ReaderRSVPDisplayPanel.h"
#include "ReaderWidgets/Workspace/ReaderReadingColumn.h"
#include "ReaderWidgets/Workspace/ReaderSpeedControls.h"
#include "ReaderWidgets/Workspace/ReaderTransportControls.h"

#include "support/FakeClock.h"
#include "support/FakePlaybackStore.h"
#include "support/GuiTesting.h"
#include "support/RunTask.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

namespace tavrine {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Action = ReaderPlaybackRequest::Action;
using test::FakePlaybackStore;
using Call = FakePlaybackStore::Call;
using Status = ReadingSession::Status;
using test::processEventsUntil;
using testing::ElementsAre;

// Japanese prose of several sentences, about 900 units: chunked at once, long enough for seconds of play.
QString japaneseProse() {
    const QString sentence =
        u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記憶している。"_s;
    QString text;
    while (text.size() < 880) text += sentence;
    return text;
}

// A source view of the application's kind, for the column to hold: the document's text, read only.
QWidget* plainSourceView(ReaderSourceViewBinding& binding) {
    auto* view = new QPlainTextEdit;
    view->setReadOnly(true);
    view->setPlainText(binding.document().text);
    QObject::connect(&binding, &ReaderSourceViewBinding::documentChanged, view,
                     [view, &binding] { view->setPlainText(binding.document().text); });
    return view;
}

// A player over the fake store on the given clock, a shown workspace over it and the column in a themed
// window of the given size.
class ShownColumn {
public:
    ShownColumn(const Clock& clock, QSize size, ReaderWorkspaceClosures closures = {},
                ReaderReadingColumn::SourceViewFactory sourceView = {})
        : store(std::make_shared<FakePlaybackStore>(clock)),
          player(store, false, true, 5s, defaults, clock,
                 ReadingPlayer::PhraseWidth{[](QStringView text) { return PhraseWidthMeasurer::width(text); },
                                            PhraseWidthMeasurer::referenceWidth()}),
          workspace(player, nullptr, wrap(std::move(closures)), &clock) {
        ReaderTheme::apply(window);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        column = new ReaderReadingColumn(workspace, std::move(sourceView), {}, &window);
        layout->addWidget(column);
        window.resize(size);
        window.show();
        window.activateWindow();
        processEventsUntil([this] { return window.isActiveWindow(); });
        workspace.appeared();
        settle();
    }

    // The saves a test set off reach the store before it goes: a loaded machine may leave them queued past the
    // test's last turn of the event loop, and their tasks would never end.
    ~ShownColumn() { test::runTask(player.flushPersistence()); }

    // Loads text paused at its start and clears the logs.
    void open(const QString& text, std::optional<QList<ReadingDocument::Section>> sections = std::nullopt) {
        player.load(SavedReading::create(ReadingDocument{std::move(sections), text, {}}, std::nullopt, std::nullopt,
                                         std::nullopt, Date{800'000'000}),
                    0);
        processEventsUntil([this] { return !player.isPreparing(); });
        settle();
        log.clear();
    }

    static void settle() {
        processEventsUntil([] { return false; }, 30ms);
    }

    qsizetype saves() const {
        processEventsUntil([] { return false; }, 60ms);
        return calls(Call::updateProgress);
    }

    qsizetype calls(Call call) const {
        const QList<Call> made = store->calls();
        return qsizetype(std::count(made.cbegin(), made.cend(), call));
    }

    ReaderRSVPDisplayPanel& display() const { return column->displayPanel(); }
    ReaderDoubleSlider& progress() const { return column->progressControl().slider(); }
    ReaderSpeedControls& speed() const { return column->speedControls(); }

    MemoryDefaults defaults;
    std::shared_ptr<FakePlaybackStore> store;
    ReadingPlayer player;
    QStringList log;
    ReaderWorkspaceController workspace;
    QWidget window;
    ReaderReadingColumn* column = nullptr;

private:
    ReaderWorkspaceClosures wrap(ReaderWorkspaceClosures closures) {
        closures.onInteraction = [this] { log.append(u"interaction"_s); };
        return closures;
    }
};

// Moves a fake clock in 10 ms steps, letting the event loop run after each.
void advanceClock(test::FakeClock& clock, std::chrono::duration<double> by) {
    for (auto left = by; left > 0s; left -= 10ms) {
        clock.advance(10ms);
        QApplication::processEvents();
    }
    ShownColumn::settle();
}

// Sends a key press to target; whether something took it.
bool pressKey(QWidget& target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(&target, &event);
    return event.isAccepted();
}

// Hands a key press to target alone, not to the parents an ignored key travels on to; whether target took it.
bool takesKey(QWidget& target, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    static_cast<QObject&>(target).event(&event);
    return event.isAccepted();
}

// The point of the slider's groove at share of its length, in its coordinates.
QPoint trackPoint(const QSlider& slider, double share) {
    return {int(8 + share * (slider.width() - 16)), slider.height() / 2};
}

QString accessibleText(QObject* object, QAccessible::Text kind) {
    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(object);
    return element ? element->text(kind) : u"(no element)"_s;
}

TEST(ReaderReadingColumn, SpaceOnTheDisplayTogglesOnlyWithoutModifiersAndIsTakenEvenWhenRefused) {
    test::FakeClock clock;
    ShownColumn shown(clock, {800, 700});
    shown.open(japaneseProse());
    ReaderRSVPDisplayPanel& display = shown.display();
    EXPECT_EQ(display.objectName(), u"readerRSVPDisplay"_s);
    EXPECT_EQ(display.focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(display.display().focusPolicy(), Qt::NoFocus);

    // With a modifier, or repeated while held: not taken, nothing happens.
    for (const Qt::KeyboardModifiers held :
         {Qt::KeyboardModifiers(Qt::ShiftModifier), Qt::KeyboardModifiers(Qt::ControlModifier),
          Qt::KeyboardModifiers(Qt::AltModifier | Qt::MetaModifier)}) {
        EXPECT_FALSE(pressKey(display, Qt::Key_Space, held));
    }
    EXPECT_FALSE(pressKey(display, Qt::Key_Space, Qt::NoModifier, /*autoRepeat=*/true));
    ShownColumn::settle();
    EXPECT_FALSE(shown.player.isWaitingToPlay());
    EXPECT_THAT(shown.log, testing::IsEmpty());

    // Plain Space, also from the keypad: play, then pause.
    EXPECT_TRUE(pressKey(display, Qt::Key_Space, Qt::KeypadModifier));
    EXPECT_TRUE(shown.player.isWaitingToPlay());
    EXPECT_THAT(shown.log, ElementsAre(u"interaction"_s));
    advanceClock(clock, 600ms);
    ASSERT_EQ(shown.player.session().status, Status::playing);
    EXPECT_TRUE(pressKey(display, Qt::Key_Space));
    EXPECT_EQ(shown.player.session().status, Status::paused);

    // Refused while importing, and still taken.
    shown.workspace.setImporting(true);
    ShownColumn::settle();
    shown.log.clear();
    EXPECT_TRUE(pressKey(display, Qt::Key_Space));
    EXPECT_FALSE(shown.player.isWaitingToPlay());
    EXPECT_THAT(shown.log, testing::IsEmpty());
}

TEST(ReaderReadingColumn, AProgressDragPausesOnceSavingThenSeeksAndItsReleaseDoesNothing) {
    test::FakeClock clock;
    ShownColumn shown(clock, {800, 700});
    shown.open(japaneseProse());
    shown.workspace.perform(Action::togglePlayback, true);
    advanceClock(clock, 1500ms);
    ASSERT_EQ(shown.player.session().status, Status::playing);
    const qsizetype before = shown.saves();
    ReaderDoubleSlider& slider = shown.progress();

    // A press on the track: one pause that saves, and the knob comes to the pointer.
    QTest::mousePress(&slider, Qt::LeftButton, {}, trackPoint(slider, 0.5));
    EXPECT_EQ(shown.player.session().status, Status::paused);
    EXPECT_TRUE(shown.workspace.isDraggingProgress());
    EXPECT_EQ(shown.saves(), before + 1);
    EXPECT_NEAR(slider.doubleValue(), 0.5, 0.03);
    const qsizetype middle = shown.player.currentSourceOffset();
    EXPECT_NEAR(double(middle) / japaneseProse().size(), 0.5, 0.05);

    // Moves seek, saving nothing.
    QTest::mouseMove(&slider, trackPoint(slider, 0.7));
    QTest::mouseMove(&slider, trackPoint(slider, 0.8));
    ShownColumn::settle();
    EXPECT_GT(shown.player.currentSourceOffset(), middle);
    EXPECT_EQ(shown.saves(), before + 1);

    // The release: nothing but the end of the drag.
    const qsizetype offset = shown.player.currentSourceOffset();
    shown.log.clear();
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, trackPoint(slider, 0.8));
    ShownColumn::settle();
    EXPECT_FALSE(shown.workspace.isDraggingProgress());
    EXPECT_THAT(shown.log, testing::IsEmpty());
    EXPECT_EQ(shown.player.currentSourceOffset(), offset);
    EXPECT_EQ(shown.saves(), before + 1);

    // The arrows step the position; with an edited source they pass on; the other keys do nothing.
    slider.setFocus();
    EXPECT_TRUE(pressKey(slider, Qt::Key_Right));
    EXPECT_GT(shown.player.currentSourceOffset(), offset);
    const qsizetype stepped = shown.player.currentSourceOffset();
    for (const int key : {Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End}) pressKey(slider, key);
    EXPECT_EQ(shown.player.currentSourceOffset(), stepped);
    // An arrow arriving right after an edit, before the slider is disabled, passes on.
    shown.workspace.setSource(u"書き換えた"_s);
    EXPECT_FALSE(takesKey(slider, Qt::Key_Left));
    EXPECT_EQ(shown.player.currentSourceOffset(), stepped);
    ShownColumn::settle();
    EXPECT_FALSE(slider.isEnabled());
}

TEST(ReaderReadingColumn, PlayingAtTheFastestSpeedMovesTheSliderWithoutASeekOrASaveFromIt) {
    // The real clock: three seconds of phrases as a reader sees them.
    ShownColumn shown(SystemClock::shared(), {800, 700});
    shown.open(japaneseProse());
    shown.workspace.setSpeedMultiplierValue(7.5);
    shown.workspace.perform(Action::togglePlayback, true);
    ASSERT_TRUE(processEventsUntil([&] { return shown.player.session().status == Status::playing; }));
    shown.store->clearLog();
    QSignalSpy seeks(&shown.player, &ReadingPlayer::preparationIDChanged);
    QSignalSpy moves(&shown.progress(), &ReaderDoubleSlider::userValueChanged);
    const double start = shown.progress().doubleValue();
    qsizetype phrases = 0;
    QString last;
    QObject::connect(&shown.workspace, &ReaderWorkspaceController::changed, &shown.window, [&] {
        if (shown.display().display().text() != last) ++phrases;
        last = shown.display().display().text();
    });

    processEventsUntil([] { return false; }, 3s);

    EXPECT_EQ(shown.player.session().status, Status::playing);
    EXPECT_EQ(moves.count(), 0);
    EXPECT_EQ(seeks.count(), 0);
    EXPECT_EQ(shown.calls(Call::updateProgress), 0);
    EXPECT_GT(phrases, 20);
    EXPECT_GT(shown.progress().doubleValue(), start);
    EXPECT_NEAR(shown.progress().doubleValue(), shown.workspace.documentContext().progress, 1.0 / 10'000);
}

TEST(ReaderReadingColumn, SpeedKeysAreTakenWithoutEffectAtBothEndsAndAFocusRequestTakesTheFocusBack) {
    test::FakeClock clock;
    ShownColumn shown(clock, {800, 700});
    shown.open(japaneseProse());
    ReaderDoubleSlider& slider = shown.speed().slider();

    // A click gives the slider the focus.
    QTest::mouseClick(&slider, Qt::LeftButton, {}, trackPoint(slider, 0.0));
    ShownColumn::settle();
    EXPECT_TRUE(slider.hasFocus());
    EXPECT_TRUE(shown.workspace.isAdjustingSpeed());
    shown.workspace.setSpeedMultiplierValue(1.0);
    ShownColumn::settle();

    // At 1.0: minus disabled, Left taken and changing nothing; Right steps up.
    EXPECT_FALSE(shown.speed().minusButton().isEnabled());
    EXPECT_TRUE(pressKey(slider, Qt::Key_Left));
    EXPECT_DOUBLE_EQ(shown.player.baseSeconds(), 0.3);
    EXPECT_TRUE(pressKey(slider, Qt::Key_Right));
    ShownColumn::settle();
    EXPECT_EQ(shown.speed().valueText().text(), u"1.1×"_s);
    // At 7.5: plus disabled, Right taken and changing nothing.
    shown.workspace.setSpeedMultiplierValue(7.5);
    ShownColumn::settle();
    EXPECT_FALSE(shown.speed().plusButton().isEnabled());
    EXPECT_TRUE(pressKey(slider, Qt::Key_Right));
    EXPECT_DOUBLE_EQ(shown.player.baseSeconds(), 0.04);
    EXPECT_EQ(shown.speed().valueText().text(), u"7.5×"_s);
    // The speed buttons and keys never release the editor's focus.
    EXPECT_THAT(shown.log, testing::Each(u"interaction"_s));

    // A focus request: the display takes the focus from the slider.
    shown.workspace.setFocusRequest(QUuid::createUuid());
    ASSERT_TRUE(processEventsUntil([&] { return shown.display().hasFocus(); }));
    ShownColumn::settle();
    EXPECT_FALSE(shown.workspace.isAdjustingSpeed());
    EXPECT_TRUE(shown.workspace.isDisplayFocused());
}

TEST(ReaderReadingColumn, TheTransportRowHasThreeButtonsOrFiveWithChapters) {
    test::FakeClock clock;
    ShownColumn shown(clock, {800, 700});
    ReaderTransportControls& transport = shown.column->transportControls();
    const auto shownButtons = [&] {
        QStringList titles;
        for (const auto* button : transport.findChildren<ReaderReadingControlButton*>()) {
            if (button->isVisibleTo(&transport)) titles.append(button->text());
        }
        return titles;
    };
    shown.open(japaneseProse());
    EXPECT_THAT(shownButtons(), testing::UnorderedElementsAre(u"文の先頭へ戻る"_s, u"再生"_s, u"次の文へ"_s));
    EXPECT_EQ(transport.layout()->spacing(), 20);
    EXPECT_EQ(transport.playPauseButton().size(), QSize(68, 56));
    EXPECT_EQ(transport.playPauseButton().accent(), ReaderPalette::gold);
    EXPECT_EQ(transport.playPauseButton().toolTip(), u"再生（Ctrl+Return）"_s);

    const QString text = japaneseProse() + japaneseProse() + japaneseProse();
    const qsizetype third = text.size() / 3;
    shown.open(text, QList<ReadingDocument::Section>{{u"a"_s, std::nullopt, 0, third},
                                                     {u"b"_s, std::nullopt, third, 2 * third},
                                                     {u"c"_s, std::nullopt, 2 * third, text.size()}});
    EXPECT_EQ(shownButtons().size(), 5);
    EXPECT_EQ(transport.layout()->spacing(), 8);
    // Forward a chapter by its button: the player moves to the next chapter start.
    QTest::mouseClick(&transport.navigationButton(ReaderNavigationCommand::forwardChapter), Qt::LeftButton);
    ASSERT_TRUE(processEventsUntil([&] { return !shown.player.isPreparing(); }));
    EXPECT_EQ(shown.player.currentSourceOffset(), third);

    // Playing: the middle button says pause in the control colour.
    shown.workspace.perform(Action::togglePlayback, true);
    ShownColumn::settle();
    EXPECT_EQ(transport.playPauseButton().text(), u"一時停止"_s);
    EXPECT_EQ(transport.playPauseButton().accent(), ReaderPalette::control);
    EXPECT_EQ(transport.playPauseButton().toolTip(), u"一時停止（Ctrl+Return）"_s);
}

TEST(ReaderReadingColumn, TheClipboardRowExistsOnlyWithPasteClosuresAndPastesInOrder) {
    test::FakeClock clock;
    QStringList pasted;
    {
        // No closures (this application's case) and no source view: no row, no area taking space.
        ShownColumn shown(clock, {800, 700});
        shown.workspace.setShowsSource(true);
        ShownColumn::settle();
        ASSERT_NE(shown.column->sourceArea(), nullptr);
        EXPECT_EQ(shown.column->sourceArea()->clipboardRow(), nullptr);
        EXPECT_FALSE(shown.column->sourceArea()->isVisible());
    }
    {
        // pasteText alone: the row, 28 high at least, without a button.
        ShownColumn shown(clock, {800, 700}, {.pasteText = [](const QString&) {}});
        shown.workspace.setShowsSource(true);
        ShownColumn::settle();
        QWidget* row = shown.column->sourceArea()->clipboardRow();
        ASSERT_NE(row, nullptr);
        EXPECT_GE(row->height(), 28);
        EXPECT_EQ(shown.column->sourceArea()->clipboardButton(), nullptr);
    }
    ShownColumn shown(clock, {800, 700},
                      {.pasteFromClipboard = [&] { pasted.append(u"clipboard"_s); },
                       .pastePlainText = [&] { pasted.append(u"plain"_s); }},
                      plainSourceView);
    shown.open(japaneseProse());
    shown.workspace.setShowsSource(true);
    shown.workspace.perform(Action::togglePlayback, true);
    advanceClock(clock, 1s);
    ASSERT_EQ(shown.player.session().status, Status::playing);
    ReaderReadingControlButton* button = shown.column->sourceArea()->clipboardButton();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->accessibleName().isEmpty() ? button->text() : button->accessibleName(),
              u"クリップボードから置き換え"_s);
    ASSERT_EQ(button->actions().size(), 1);
    EXPECT_EQ(button->actions().first()->text(), u"プレーンテキストとして取り込む"_s);

    QObject::connect(&shown.workspace, &ReaderWorkspaceController::releaseEditorFocusChanged, &shown.window,
                     [&] { shown.log.append(u"release"_s); });
    shown.store->clearLog();
    shown.log.clear();
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_THAT(shown.log, ElementsAre(u"interaction"_s, u"release"_s));
    EXPECT_THAT(pasted, ElementsAre(u"clipboard"_s));
    EXPECT_EQ(shown.player.session().status, Status::paused);
    EXPECT_EQ(shown.saves(), 1);
    button->actions().first()->trigger();
    EXPECT_THAT(pasted, ElementsAre(u"clipboard"_s, u"plain"_s));

    shown.workspace.setImporting(true);
    ShownColumn::settle();
    EXPECT_FALSE(button->isEnabled());
}

TEST(ReaderReadingColumn, AssistiveTechnologyReadsTheJapaneseNamesHintsAndValues) {
    test::FakeClock clock;
    ShownColumn shown(clock, {800, 700});
    shown.open(u"\n  吾輩は猫である。  \n"_s);
    ReaderRSVPDisplayPanel& display = shown.display();

    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(&display);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->role(), QAccessible::StaticText);
    EXPECT_EQ(element->childCount(), 0);
    EXPECT_EQ(element->text(QAccessible::Name), u"現在の表示"_s);
    EXPECT_EQ(element->text(QAccessible::Description),
              u"Spaceキーで再生または一時停止します。長い表示はスクロールして読めます"_s);
    // Shown trimmed, read untrimmed.
    const QString chunk = shown.player.session().currentChunk()->text;
    EXPECT_EQ(element->text(QAccessible::Value), chunk);
    EXPECT_EQ(display.display().text(), chunk.trimmed());

    // The progress group holds the slider alone; the caption is left out.
    QAccessibleInterface* group = QAccessible::queryAccessibleInterface(&shown.column->progressControl());
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->childCount(), 1);
    QAccessibleInterface* progress = group->child(0);
    EXPECT_EQ(progress->object(), &shown.progress());
    EXPECT_EQ(progress->text(QAccessible::Name), u"文章の再生位置"_s);
    EXPECT_EQ(progress->text(QAccessible::Value), shown.workspace.documentContext().progressLabel);
    EXPECT_EQ(progress->text(QAccessible::Description), u"位置を変更すると一時停止します"_s);

    ReaderSpeedControls& speed = shown.speed();
    EXPECT_EQ(accessibleText(&speed.slider(), QAccessible::Name), u"読む速度"_s);
    EXPECT_EQ(accessibleText(&speed.slider(), QAccessible::Value), u"1.0倍"_s);
    EXPECT_EQ(accessibleText(&speed.slider(), QAccessible::Description),
              u"0.1倍ずつ増減します。1倍は補正前の表示時間0.3秒です"_s);
    EXPECT_EQ(speed.slider().toolTip(),
              u"1.0×は補正前の表示時間0.3秒です。長さと句読点の補正は維持します。倍率は読書効果を保証しません。"_s);
    EXPECT_EQ(accessibleText(&speed.valueText(), QAccessible::Name), u"読む速度"_s);
    EXPECT_EQ(accessibleText(&speed.valueText(), QAccessible::Value), u"1.0倍"_s);
    EXPECT_EQ(speed.valueText().text(), u"1.0×"_s);
    EXPECT_EQ(accessibleText(&speed.minusButton(), QAccessible::Name), u"読む速度を0.1倍下げる"_s);
    EXPECT_EQ(accessibleText(&speed.plusButton(), QAccessible::Name), u"読む速度を0.1倍上げる"_s);

    ReaderTransportControls& transport = shown.column->transportControls();
    QWidget* back = &transport.navigationButton(ReaderNavigationCommand::backSentence);
    EXPECT_EQ(accessibleText(back, QAccessible::Name), u"文の先頭へ戻る"_s);
    EXPECT_EQ(accessibleText(back, QAccessible::Description),
              u"現在の文の先頭へ戻って一時停止します。先頭にいるときは前の文へ戻ります"_s);
    EXPECT_EQ(back->toolTip(),
              u"文の先頭へ戻る：現在の文の先頭へ戻って一時停止します。先頭にいるときは前の文へ戻ります"_s);
    EXPECT_EQ(accessibleText(&transport.playPauseButton(), QAccessible::Name), u"再生"_s);

    // A speed step reaches the spoken values.
    shown.workspace.perform(Action::faster, false);
    ShownColumn::settle();
    EXPECT_EQ(accessibleText(&speed.slider(), QAccessible::Value), u"1.1倍"_s);
}

TEST(ReaderReadingColumn, TheSpeedSlidersAccessibleActionsStepAsPlusAndMinusDoWithinTheirBounds) {
    test::FakeClock clock;
    ShownColumn shown(clock, {800, 700});
    shown.open(japaneseProse());
    ReaderSpeedControls& speed = shown.speed();
    QAccessibleInterface* slider = QAccessible::queryAccessibleInterface(&speed.slider());
    ASSERT_NE(slider, nullptr);
    QAccessibleActionInterface* actions = slider->actionInterface();
    ASSERT_NE(actions, nullptr);
    const QString increase = QAccessibleActionInterface::increaseAction();
    const QString decrease = QAccessibleActionInterface::decreaseAction();
    EXPECT_TRUE(actions->actionNames().contains(increase));
    EXPECT_TRUE(actions->actionNames().contains(decrease));
    EXPECT_EQ(actions->keyBindingsForAction(increase), QStringList{u"Right"_s});
    EXPECT_EQ(actions->keyBindingsForAction(decrease), QStringList{u"Left"_s});
    // The progress slider has no such actions.
    QAccessibleActionInterface* progress = QAccessible::queryAccessibleInterface(&shown.progress())->actionInterface();
    EXPECT_FALSE(progress && progress->actionNames().contains(increase));

    const auto act = [&](const QString& action) {
        actions->doAction(action);
        ShownColumn::settle();
        return speed.valueText().text();
    };
    // At 1.0 decrease changes nothing; increase steps by 0.1, as plus does, and speaks the new value.
    EXPECT_EQ(act(decrease), u"1.0×"_s);
    EXPECT_EQ(act(increase), u"1.1×"_s);
    EXPECT_EQ(accessibleText(&speed.slider(), QAccessible::Value), u"1.1倍"_s);
    speed.plusButton().click();
    ShownColumn::settle();
    EXPECT_EQ(speed.valueText().text(), u"1.2×"_s);
    EXPECT_EQ(act(decrease), u"1.1×"_s);
    // Like the buttons, the actions never release the editor's focus.
    EXPECT_THAT(shown.log, testing::Each(u"interaction"_s));
    EXPECT_EQ(shown.log.size(), 3);
    // At 7.5 increase changes nothing.
    shown.workspace.setSpeedMultiplierValue(7.5);
    ShownColumn::settle();
    EXPECT_EQ(act(increase), u"7.5×"_s);
    // While importing the slider is disabled and its actions do nothing.
    shown.workspace.setImporting(true);
    ShownColumn::settle();
    EXPECT_EQ(act(decrease), u"7.5×"_s);
}

TEST(ReaderReadingColumn, AClickOnAnyControlButtonLeavesTheFocusOnTheDisplayAndTabWalksTheRowsInOrder) {
    test::FakeClock clock;
    ShownColumn shown(clock, {800, 700});
    const QString chapter = japaneseProse();
    shown.open(chapter + chapter,
               QList<ReadingDocument::Section>{{u"c1"_s, std::nullopt, 0, chapter.size()},
                                               {u"c2"_s, std::nullopt, chapter.size(), 2 * chapter.size()}});
    ReaderTransportControls& transport = shown.column->transportControls();
    ASSERT_TRUE(transport.navigationButton(ReaderNavigationCommand::forwardChapter).isVisible());
    shown.display().setFocus();
    ASSERT_TRUE(shown.display().hasFocus());

    using Command = ReaderNavigationCommand;
    const QList<QWidget*> row{&transport.navigationButton(Command::backChapter),
                              &transport.navigationButton(Command::backSentence), &transport.playPauseButton(),
                              &transport.navigationButton(Command::forwardSentence),
                              &transport.navigationButton(Command::forwardChapter)};
    QList<QWidget*> buttons = row;
    buttons << &shown.speed().plusButton() << &shown.speed().minusButton();
    for (QWidget* button : buttons) {
        SCOPED_TRACE(button->accessibleName().toStdString() + " " +
                     accessibleText(button, QAccessible::Name).toStdString());
        EXPECT_EQ(button->focusPolicy(), Qt::TabFocus);
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        ShownColumn::settle();
        EXPECT_TRUE(shown.display().hasFocus());
    }
    // A click on the progress slider seeks and leaves the focus too; the speed slider takes it.
    QTest::mouseClick(&shown.progress(), Qt::LeftButton, {}, trackPoint(shown.progress(), 0.5));
    ShownColumn::settle();
    EXPECT_TRUE(shown.display().hasFocus());

    // Tab from the display: the progress slider, then the transport row left to right, then the speed row
    // (each enabled control), and round to the display.
    shown.workspace.setSpeedMultiplierValue(2.0);
    ShownColumn::settle();
    QList<QWidget*> expected{&shown.progress()};
    expected << row << &shown.speed().minusButton() << &shown.speed().slider() << &shown.speed().plusButton();
    expected.removeIf([](const QWidget* control) { return !control->isEnabled(); });
    EXPECT_GE(expected.size(), 7);
    expected << &shown.display();
    QList<QWidget*> walked;
    for (qsizetype step = 0; step < expected.size(); ++step) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        pressKey(*focus, Qt::Key_Tab);
        walked.append(QApplication::focusWidget());
    }
    EXPECT_EQ(walked, expected);
}

// ---- What a person sees ----

// Saves the column's screenshot under test-artifacts/.
void saveScreenshot(ShownColumn& shown, const QString& name) {
    ShownColumn::settle();
    EXPECT_TRUE(shown.window.grab().save(test::testArtifactPath(name)));
}

TEST(ReaderReadingColumn, ScreenshotsPlayingAJapaneseTextAtEachSize) {
    test::FakeClock clock;
    {
        ShownColumn shown(clock, {800, 700});
        shown.open(japaneseProse());
        shown.workspace.perform(Action::togglePlayback, true);
        advanceClock(clock, 2s);
        EXPECT_EQ(shown.column->metrics().displayHeight, 400);
        EXPECT_EQ(shown.display().height(), 400);
        EXPECT_FALSE(shown.column->verticalScrollBar()->isVisible());
        EXPECT_FALSE(shown.display().display().text().isEmpty());
        saveScreenshot(shown, u"reading-column-playing.png"_s);
    }
    {
        ShownColumn shown(clock, {800, 700}, {}, plainSourceView);
        shown.open(japaneseProse());
        shown.workspace.setShowsSource(true);
        shown.workspace.perform(Action::togglePlayback, true);
        advanceClock(clock, 2s);
        EXPECT_EQ(shown.display().height(), 156);
        ASSERT_NE(shown.column->sourceArea(), nullptr);
        EXPECT_TRUE(shown.column->sourceArea()->isVisible());
        saveScreenshot(shown, u"reading-column-playing-source.png"_s);
    }
    {
        ShownColumn shown(clock, {800, 400}, {}, plainSourceView);
        shown.open(japaneseProse());
        shown.workspace.setShowsSource(true);
        ShownColumn::settle();
        EXPECT_TRUE(shown.column->metrics().scrolls);
        EXPECT_EQ(shown.display().height(), 96);
        EXPECT_GE(shown.column->sourceArea()->height(), 130);
        EXPECT_EQ(shown.column->widget()->height(), 440);
        EXPECT_TRUE(shown.column->verticalScrollBar()->isVisible());
        saveScreenshot(shown, u"reading-column-scrolling.png"_s);
    }
    {
        ShownColumn shown(clock, {480, 900});
        shown.open(japaneseProse());
        EXPECT_EQ(shown.display().height(), 400);
        EXPECT_EQ(shown.column->metrics().padding, 12);
        saveScreenshot(shown, u"reading-column-narrow.png"_s);
    }
    {
        ShownColumn shown(clock, {800, 700});
        shown.open(japaneseProse());
        shown.workspace.setImporting(true);
        ShownColumn::settle();
        EXPECT_FALSE(shown.column->transportControls().playPauseButton().isEnabled());
        EXPECT_FALSE(shown.speed().slider().isEnabled());
        saveScreenshot(shown, u"reading-column-importing.png"_s);
    }
}

}  // namespace
}  // namespace tavrine
