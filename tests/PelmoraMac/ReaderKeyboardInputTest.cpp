// The Space rule of the reader window: the decision as a table, then key presses delivered through the
// window system to a test window where the real filter is installed.
#include "PelmoraMac/Source/InteractionTextView.h"
#include "PelmoraMac/Window/ReaderKeyboardInput.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Workspace/ReaderDoubleSlider.h"

#include "support/GuiTesting.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QWindow>

#include <memory>

// The window system's own entry for a key event, which Qt's test library uses too: the press reaches the
// window as one from the keyboard would, auto-repeat flag included.
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow* window, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
                                    const QString& text, bool autorep, ushort count);

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Input = ReaderKeyboardInput;
using Decision = Input::Decision;
using Focus = Input::Focus;
using test::processEventsUntil;

TEST(ReaderKeyboardInputDecision, OnlyAPlainFirstSpaceForTheActiveWindowWithNothingOverItToggles) {
    const Input::Snapshot plain{
        .windowIsActive = true,
        .isForWindow = true,
        .focus = Focus::window,
        .key = Qt::Key_Space,
        .modifiers = Qt::NoModifier,
    };
    const auto with = [&](auto change) {
        Input::Snapshot snapshot = plain;
        change(snapshot);
        return Input::decide(snapshot);
    };
    using S = Input::Snapshot;
    EXPECT_EQ(Input::decide(plain), Decision::togglePlayback);
    EXPECT_EQ(with([](S& s) { s.focus = Focus::readOnlySourceText; }), Decision::togglePlayback);
    EXPECT_EQ(with([](S& s) { s.focus = Focus::readingSlider; }), Decision::togglePlayback);
    EXPECT_EQ(with([](S& s) { s.modifiers = Qt::KeypadModifier; }), Decision::togglePlayback);
    EXPECT_EQ(with([](S& s) { s.isAutoRepeat = true; }), Decision::swallow);
    EXPECT_EQ(with([](S& s) { s.isAutoRepeat = true, s.focus = Focus::readOnlySourceText; }), Decision::swallow);

    const struct {
        const char* name;
        void (*change)(S&);
    } passing[] = {
        {"inactive window", [](S& s) { s.windowIsActive = false; }},
        {"another window's widget", [](S& s) { s.isForWindow = false; }},
        {"modal window", [](S& s) { s.hasModalWindow = true; }},
        {"open popup", [](S& s) { s.hasOpenPopup = true; }},
        {"other focus", [](S& s) { s.focus = Focus::other; }},
        {"shift", [](S& s) { s.modifiers = Qt::ShiftModifier; }},
        {"control", [](S& s) { s.modifiers = Qt::ControlModifier; }},
        {"alt", [](S& s) { s.modifiers = Qt::AltModifier; }},
        {"meta", [](S& s) { s.modifiers = Qt::MetaModifier; }},
        {"keypad and shift", [](S& s) { s.modifiers = Qt::KeypadModifier | Qt::ShiftModifier; }},
        {"group switch", [](S& s) { s.modifiers = Qt::GroupSwitchModifier; }},
        {"another key", [](S& s) { s.key = Qt::Key_Return; }},
        // A repeat that is not ours is not swallowed either.
        {"repeat with other focus", [](S& s) { s.isAutoRepeat = true, s.focus = Focus::other; }},
        {"repeat with a modifier", [](S& s) { s.isAutoRepeat = true, s.modifiers = Qt::MetaModifier; }},
        {"repeat in a menu", [](S& s) { s.isAutoRepeat = true, s.hasOpenPopup = true; }},
    };
    for (const auto& c : passing) EXPECT_EQ(with(c.change), Decision::pass) << c.name;
}

// A source text view of the test's own: read-only unless made editable.
class FakeSourceView final : public QPlainTextEdit, public InteractionTextView {
public:
    bool isEditable() const override { return !isReadOnly(); }

    // Nothing of the view but its editability matters to the key rule.
    QAbstractScrollArea* scrollArea() override { return this; }
    void load(const ReadingDocument&, double) override {}
    const QString& source() const override { return m_source; }
    void setOnInteraction(std::function<void()>) override {}
    void setOnSelectionChanged(std::function<void()>) override {}
    QList<TextRange> selectedRanges() const override { return {}; }
    void setSelectedRange(TextRange) override {}
    std::optional<qsizetype> visibleOffset() const override { return std::nullopt; }
    void scrollRangeToVisible(TextRange) override {}
    bool hasPendingReveal() const override { return false; }
    void setInitialRevealRange(TextRange) override {}
    void setInitialTopOffset(qsizetype) override {}
    bool hasContentHeight() const override { return false; }
    void setFollowedRange(std::optional<TextRange>) override {}
    void drawHighlight(Highlight, std::optional<TextRange>) override {}
    void copySelection() override {}

private:
    QString m_source;
};

// A widget that handles Space itself, as the reading display does.
class SpaceHandler final : public QWidget {
public:
    SpaceHandler() { setFocusPolicy(Qt::StrongFocus); }
    int presses = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && event->modifiers() == Qt::NoModifier) {
            ++presses;
            return event->accept();
        }
        event->ignore();
    }
};

// The reader window's stand-in with the filter installed, shown and active.
class KeyboardInputTest : public testing::Test {
protected:
    KeyboardInputTest() {
        ReaderTheme::apply(window);
        auto* central = new QWidget;
        auto* column = new QVBoxLayout(central);
        column->addWidget(lineEdit = new QLineEdit);
        column->addWidget(source = new FakeSourceView);
        column->addWidget(display = new SpaceHandler);
        column->addWidget(slider = new ReaderDoubleSlider(1.0, 7.5));
        source->setReadOnly(true);
        source->setPlainText(u"原文の一行目\n二行目"_s);
        window.setCentralWidget(central);
        window.resize(400, 300);
        input = std::make_unique<Input>(window, [this](ReaderPlaybackRequest::Action action) {
            EXPECT_EQ(action, ReaderPlaybackRequest::Action::togglePlayback);
            ++toggles;
        });
        window.show();
        window.activateWindow();
        EXPECT_TRUE(processEventsUntil([this] { return window.isActiveWindow(); }));
    }

    // Presses and releases a key in window as the keyboard would.
    static void key(QWindow* target, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                    bool autoRepeat = false) {
        const QString text = code == Qt::Key_Space ? u" "_s : QString();
        qt_handleKeyEvent(target, QEvent::KeyPress, code, modifiers, text, autoRepeat, 1);
        qt_handleKeyEvent(target, QEvent::KeyRelease, code, modifiers, text, autoRepeat, 1);
        QApplication::processEvents();
    }
    void space(Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false) {
        key(window.windowHandle(), Qt::Key_Space, modifiers, autoRepeat);
    }
    void focus(QWidget* widget) {
        if (widget) {
            widget->setFocus();
        } else if (QWidget* focused = window.focusWidget()) {
            focused->clearFocus();
        }
        ASSERT_TRUE(processEventsUntil([&] { return QApplication::focusWidget() == widget; }));
    }

    QMainWindow window;
    QLineEdit* lineEdit;
    FakeSourceView* source;
    SpaceHandler* display;
    ReaderDoubleSlider* slider;
    std::unique_ptr<Input> input;
    int toggles = 0;
};

TEST_F(KeyboardInputTest, EachPlainPressTogglesOnceInTheWindowAndTheReadOnlySourceButNotWithAModifierOrARepeat) {
    focus(nullptr);
    space();
    EXPECT_EQ(toggles, 1);
    space({}, true);
    EXPECT_EQ(toggles, 1) << "a held Space repeats without toggling";
    for (const Qt::KeyboardModifier modifier :
         {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier}) {
        space(modifier);
        EXPECT_EQ(toggles, 1) << modifier;
    }
    space(Qt::KeypadModifier);
    EXPECT_EQ(toggles, 2);

    focus(source);
    const QString text = source->toPlainText();
    space();
    EXPECT_EQ(toggles, 3);
    EXPECT_EQ(source->toPlainText(), text);

    source->setReadOnly(false);
    space();
    EXPECT_EQ(toggles, 3);
    EXPECT_NE(source->toPlainText(), text) << "typed into the editable text";

    focus(lineEdit);
    space();
    EXPECT_EQ(toggles, 3);
    EXPECT_EQ(lineEdit->text(), u" "_s);

    // The display's own Space is the only toggle while it has the focus, repeats included.
    focus(display);
    space();
    space({}, true);
    EXPECT_EQ(display->presses, 1);
    EXPECT_EQ(toggles, 3);

    // Without the filter Space toggles nothing.
    focus(nullptr);
    input.reset();
    space();
    EXPECT_EQ(toggles, 3);
}

// A slider of the reading column keeps the focus that a click gave it, for its arrows; Space, of no use
// to it, plays and pauses.
TEST_F(KeyboardInputTest, ASliderWithTheFocusLeavesSpaceToPlayAndPause) {
    slider->setValueFromModel(2.0);
    const double value = slider->doubleValue();
    focus(slider);
    space();
    EXPECT_EQ(toggles, 1);
    space({}, true);
    space(Qt::ShiftModifier);
    EXPECT_EQ(toggles, 1);
    EXPECT_EQ(slider->doubleValue(), value);
    EXPECT_TRUE(slider->hasFocus());
}

TEST_F(KeyboardInputTest, NothingTogglesWhileADialogOrAMenuIsUp) {
    focus(nullptr);
    QDialog dialog(&window);
    dialog.open();
    ASSERT_TRUE(processEventsUntil([&] { return dialog.isVisible(); }));
    space();
    key(dialog.windowHandle(), Qt::Key_Space);
    EXPECT_EQ(toggles, 0);
    dialog.close();
    ASSERT_TRUE(processEventsUntil([&] { return !dialog.isVisible(); }));

    QMenu menu(&window);
    menu.addAction(u"項目"_s);
    menu.popup(window.mapToGlobal(QPoint(20, 20)));
    ASSERT_TRUE(processEventsUntil([&] { return QApplication::activePopupWidget() == &menu; }));
    space();
    key(menu.windowHandle(), Qt::Key_Space);
    EXPECT_EQ(toggles, 0);
    menu.close();
    ASSERT_TRUE(processEventsUntil([&] { return QApplication::activePopupWidget() == nullptr; }));

    window.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return window.isActiveWindow(); }));
    focus(nullptr);
    space();
    EXPECT_EQ(toggles, 1);
}

}  // namespace
}  // namespace tavrine
