// The rule that tells whether the primary selection may still be the user's, from the input seen since
// it was taken.
#include "PelmoraMac/Capture/X11/X11InputActivity.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {

using KeyPress = X11InputHistory::KeyPress;

TEST(SelectionCurrency, OnlyAnUntouchedSelectionTakenWhileWatchedStands) {
    const X11InputHistory quiet{.watching = true, .since = 1'000};
    EXPECT_TRUE(selectionMayBeCurrent(quiet, 1'000));
    EXPECT_TRUE(selectionMayBeCurrent(quiet, 5'000));
    // Taken before the watch began, at no time at all, or with nobody watching: nothing can be told.
    EXPECT_FALSE(selectionMayBeCurrent(quiet, 999));
    EXPECT_FALSE(selectionMayBeCurrent(quiet, 0));
    EXPECT_FALSE(selectionMayBeCurrent(X11InputHistory{.watching = false, .since = 1'000}, 5'000));

    // A click after it was taken; the click that made it (at the same time, or before) does not count.
    X11InputHistory clicked = quiet;
    clicked.lastButtonPress = 5'001;
    EXPECT_FALSE(selectionMayBeCurrent(clicked, 5'000));
    EXPECT_TRUE(selectionMayBeCurrent(clicked, 5'001));
    // Another window became the active one since.
    X11InputHistory activated = quiet;
    activated.lastActivation = 6'000;
    EXPECT_FALSE(selectionMayBeCurrent(activated, 5'000));
    EXPECT_TRUE(selectionMayBeCurrent(activated, 6'500));
}

TEST(SelectionCurrency, OnlyTheHotKeysOwnKeyMayFollow) {
    X11InputHistory typed{.watching = true, .since = 0};
    typed.keyPresses = {KeyPress{.time = 100, .keycode = 38}, KeyPress{.time = 200, .keycode = 27}};
    // The hot key's key alone followed, the one before came before the selection.
    EXPECT_TRUE(selectionMayBeCurrent(typed, 150));
    // Held, it repeats.
    typed.keyPresses.push_back({.time = 230, .keycode = 27});
    EXPECT_TRUE(selectionMayBeCurrent(typed, 150));
    // Another key before it.
    EXPECT_FALSE(selectionMayBeCurrent(typed, 50));
    typed.keyPresses.push_back({.time = 260, .keycode = 114});
    typed.keyPresses.push_back({.time = 300, .keycode = 27});
    EXPECT_FALSE(selectionMayBeCurrent(typed, 150));
    EXPECT_TRUE(selectionMayBeCurrent(typed, 280));
}

// The server's clock wraps after 49 days: a time just past the wrap is later than one just before it.
TEST(SelectionCurrency, TimesAreComparedAcrossTheServersWrap) {
    X11InputHistory wrapped{.watching = true, .since = 0xFFFF'FF00};
    EXPECT_TRUE(selectionMayBeCurrent(wrapped, 0x10));
    wrapped.lastButtonPress = 0x20;
    EXPECT_FALSE(selectionMayBeCurrent(wrapped, 0xFFFF'FFF0));
    EXPECT_TRUE(selectionMayBeCurrent(wrapped, 0x20));
}

TEST(SelectionCurrency, TheLogKeepsTheLatestKeyPresses) {
    X11InputLog log;
    EXPECT_FALSE(log.history().watching);
    log.start(10);
    for (std::uint32_t time = 11; time < 11 + 2 * X11InputHistory::kKeyLimit; ++time) log.keyPressed(time, 40);
    log.buttonPressed(500);
    log.activeWindowChanged(600);
    const X11InputHistory history = log.history();
    EXPECT_TRUE(history.watching);
    EXPECT_EQ(history.since, 10U);
    ASSERT_EQ(history.keyPresses.size(), X11InputHistory::kKeyLimit);
    EXPECT_EQ(history.keyPresses.back().time, 10 + 2 * X11InputHistory::kKeyLimit);
    EXPECT_EQ(history.lastButtonPress, 500U);
    EXPECT_EQ(history.lastActivation, 600U);
}

}  // namespace
}  // namespace tavrine
