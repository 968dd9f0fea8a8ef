// The window tests' word that an input arrived, told apart from what it does: a key reaches the application once
// per press, a shortcut's key too, and is made again only while it has not; what it does is waited for within a
// bound of its own, and a wait that gives up says what the screen showed.
#include "support/GuiTesting.h"
#include "support/ReceivedPresses.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class InputArrival : public ::testing::Test {
protected:
    void SetUp() override {
        m_play->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Return));
        m_window.addAction(m_play);
        QObject::connect(m_play, &QAction::triggered, [this] { ++m_played; });
        m_window.show();
        m_field->setFocus();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    QWidget m_window;
    QLineEdit* m_field = new QLineEdit(&m_window);
    QAction* m_play = new QAction(&m_window);
    int m_played = 0;
};

// Ctrl+Return, taken by its shortcut, and a letter the field takes each count once; the Ctrl before them not.
TEST_F(InputArrival, EachKeyCountsOnceShortcutsIncludedModifiersNot) {
    const test::ReceivedKeys keys;
    QTest::keyClick(m_window.windowHandle(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(keys.count(), 1);
    EXPECT_EQ(m_played, 1);
    QTest::keyClick(m_window.windowHandle(), Qt::Key_A);
    EXPECT_EQ(keys.count(), 2);
    EXPECT_EQ(m_field->text(), u"a"_s);
}

// A key lost on its way once is made again, and only once: the second press arrives and runs its item.
TEST_F(InputArrival, AKeyLostOnceIsMadeAgainUntilItArrived) {
    const test::ReceivedKeys keys;
    int made = 0;
    EXPECT_TRUE(test::keyReached(keys, [&] {
        if (++made > 1) QTest::keyClick(m_window.windowHandle(), Qt::Key_Return, Qt::ControlModifier);
    }));
    EXPECT_EQ(made, 2);
    EXPECT_EQ(m_played, 1);
}

// What never comes is given up at the bound, long before the overall limit, saying where and what the screen
// showed.
TEST_F(InputArrival, AnEffectThatNeverComesIsGivenUpAtItsBoundTellingTheScreen) {
    QElapsedTimer waited;
    waited.start();
    ::testing::internal::CaptureStderr();
    const bool came = test::effectWithin([] { return false; }, 300ms);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(came);
    EXPECT_LT(waited.elapsed(), 10'000);
    EXPECT_NE(said.find("no effect within 300 ms at"), std::string::npos) << said;
    EXPECT_NE(said.find("InputArrivalTest.cpp"), std::string::npos) << said;
    EXPECT_NE(said.find("the focus on QLineEdit"), std::string::npos) << said;
}

}  // namespace
}  // namespace tavrine
