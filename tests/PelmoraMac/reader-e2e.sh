#!/usr/bin/env bash
# reader-e2e.sh TAVRINE X11-SCREENSHOT READING-STORE-HISTORY ARTIFACTS
#
# The real program end to end, on an X display with openbox (run under scripts/with-xvfb --openbox, which
# gives it fresh data and configuration folders), with the test-host variable set so that no updater
# starts: exactly one window titled "Tavrine"; a Japanese text put on the clipboard and imported through
# 編集 → "クリップボードから取り込む" (the menu bar worked with the keyboard); Ctrl+Return plays it (the
# reading area changes) and pauses it (the reading area stands still); the "Tavrine" menu opened with the
# mouse and "終了" chosen with the keys quits with status 0; the store holds the reading in its history at
# a position past its start; a relaunch puts the window where it was, and with the window closed the
# clipboard hot key (Meta+Ctrl+Alt+V) brings it back there and plays. Screenshots of each step are kept in
# ARTIFACTS.
set -euo pipefail
tavrine=$1
screenshot=$2
history_tool=$3
artifacts=$4
mkdir -p "$artifacts"
store="$XDG_DATA_HOME/org.tavrine.Tavrine/reading-store.json"
export XCTestConfigurationFilePath=/dev/null
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"

shot() {
  "$screenshot" "$artifacts/reader-e2e-$1.png"
}

# Waits for the screen to keep changing (a reading that plays).
wait_for_playing() {
  within_seconds "$effect_seconds" screen_changes 0.5
}

# Starts tavrine and waits for its one window; sets pid and window. A second window is what must not
# come: the screen is watched for one a while after the reader has gone idle.
launch() {
  launch_reader "$tavrine"
  sleep 0.5
  local count
  count=$(xdotool search --onlyvisible --name '^Tavrine$' | wc -l)
  [ "$count" -eq 1 ] || fail "$count windows titled Tavrine"
  activate_window "$window"
}

launch
shot 1-start

# A text long enough to play for a while, one phrase at a time.
text=""
for _ in $(seq 1 30); do text+="吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"; done
copy_text "$text"

# Alt alone enters the menu bar at "Tavrine"; two menus on is 編集, whose first enabled item, with nothing
# to undo and no text field focused, is "クリップボードから取り込む".
# The keys are pressed once, when the window has told that it holds the keyboard (its sample button took the
# focus): a menu bar that let them pass fails.
wait_for "the new window did not focus the sample button" focus_is readerOpenSample
key_reaching alt
wait_for_effect "Alt alone did not give the menu bar the keys" focus_is QMenuBar
key_reaching Right
key_reaching Right
key_doing Down "Right, Right and Down from the menu bar did not open 編集" has_menu "$pid"
shot 2-edit-menu
shown=$(trace_marks ' readerRSVPDisplay ')
# The worker converts the clipboard; the reading it gives takes the display, which takes the focus.
display_marked_again() { has_trace_marks ' readerRSVPDisplay ' $((shown + 1)); }
key_doing Return "Return on the clipboard import did not focus the display" display_marked_again
shot 3-imported
screen_changes 0.6 && fail "the import plays before Ctrl+Return"

key_reaching ctrl+Return
wait_for_playing || fail "Ctrl+Return did not play the import"
shot 4-playing
key_doing ctrl+Return "Ctrl+Return did not pause the reading" status_is paused
screen_changes 0.6 && fail "Ctrl+Return did not pause the reading"
shot 5-paused

eval "$(xdotool getwindowgeometry --shell "$window")"
placed="$X,$Y"
# The menu bar is the top of the window's client area; "Tavrine" is its first title.
left=$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print $NF}')
top=$(xwininfo -id "$window" | awk '/Absolute upper-left Y/ {print $NF}')
click_reaching "a click on the Tavrine menu" '^QMenuBar$' -- xdotool mousemove $((left + 20)) $((top + 10)) click 1
wait_for_effect "no menu appeared: a click on the Tavrine menu" has_menu "$pid"
shot 6-application-menu
# Up from the opened menu's end: its last item, "終了".
key_reaching Up
key_reaching Return
wait_for_quit "$pid"

lines=$("$history_tool" "$store") || fail "the store cannot be opened"
echo "$lines" | grep -q '吾輩は猫である' || fail "the imported text is not in the history: $lines"
position=$(echo "$lines" | grep '吾輩は猫である' | head -1 | cut -d' ' -f1)
[ "$position" -gt 0 ] || fail "the reading was stored at its start"

launch
eval "$(xdotool getwindowgeometry --shell "$window")"
shot 7-relaunched
[ "$X,$Y" = "$placed" ] || fail "the window came back at $X,$Y, not at $placed"

# Closed (Alt+F4 only hides it), the window comes back at its place with the clipboard hot key, which
# plays what it imports.
# Alt+F4 is the window manager's: the reader's word is its mark "close", the window asked to close.
closes=$(trace_marks '^close ')
close_asked() { has_trace_marks '^close ' $((closes + 1)); }
made_again "Alt+F4 did not ask the reader to close" close_asked -- xdotool key --clearmodifiers alt+F4
no_reader_window() { ! xdotool search --onlyvisible --name '^Tavrine$' >/dev/null 2>&1; }
wait_for_effect "Alt+F4 did not close the window" no_reader_window
kill -0 "$pid" 2>/dev/null || fail "closing the window ended tavrine"
hotkey_reaching ctrl+super+alt+v
wait_for_playing || fail "the clipboard hot key did not bring up a playing import"
shot 8-hot-key
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$X,$Y" = "$placed" ] || fail "the hot key brought the window up at $X,$Y, not at $placed"
key_reaching ctrl+q
wait_for_quit "$pid"
echo "one window; 編集's clipboard import played and paused with Ctrl+Return; 終了 quit with status 0; stored at $position; placed again at $placed; the hot key brought the closed window back there, playing"
