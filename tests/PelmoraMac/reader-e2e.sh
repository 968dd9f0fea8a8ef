#!/usr/bin/env bash
# reader-e2e.sh TAVRINE X11-SCREENSHOT READING-STORE-HISTORY ARTIFACTS
#
# The real program end to end, on an X display with openbox (run under scripts/with-xvfb --openbox, which
# gives it fresh data and configuration folders), with the test-host variable set so that no updater
# starts: exactly one window titled "Tavrine"; a Japanese text put on the clipboard and imported by the
# clipboard hot key (Meta+Ctrl+Alt+V), which brings the minimised window up and plays it; the reading
# area changes while it plays and stands still once Space (the reading area focused by a click) has
# paused it; Ctrl+Q quits with status 0; the store holds the reading in its history at a position past
# its start; a relaunch puts the window where it was. Screenshots of each step are kept in ARTIFACTS.
set -euo pipefail
tavrine=$1
screenshot=$2
history_tool=$3
artifacts=$4
mkdir -p "$artifacts"
store="$XDG_DATA_HOME/org.tavrine.Tavrine/reading-store.json"
export XCTestConfigurationFilePath=/dev/null

fail() {
  echo "reader-e2e: $*" >&2
  exit 1
}

shot() {
  "$screenshot" "$artifacts/reader-e2e-$1.png"
}

# Whether two screenshots, taken apart, differ.
screen_changes() {
  local first second
  first=$(mktemp) second=$(mktemp)
  "$screenshot" "$first.png"
  sleep "$1"
  "$screenshot" "$second.png"
  if cmp -s "$first.png" "$second.png"; then rm -f "$first"* "$second"*; return 1; fi
  rm -f "$first"* "$second"*
}

# Starts tavrine and waits for its one window; sets pid and window.
launch() {
  "$tavrine" &
  pid=$!
  window=""
  for _ in $(seq 1 200); do
    window=$(xdotool search --onlyvisible --name '^Tavrine$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || fail "no window titled Tavrine appeared"
  sleep 0.5
  local count
  count=$(xdotool search --onlyvisible --name '^Tavrine$' | wc -l)
  [ "$count" -eq 1 ] || fail "$count windows titled Tavrine"
  xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus --sync "$window"
}

quit() {
  xdotool key --clearmodifiers ctrl+q
  for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && { kill -KILL "$pid"; fail "tavrine did not quit"; }
  local status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "tavrine ended with status $status"
}

launch
shot 1-start

# A text long enough to play for a while, one phrase at a time.
text=""
for _ in $(seq 1 30); do text+="吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"; done
printf '%s' "$text" | xclip -selection clipboard -i
sleep 0.3

# Away from the window: the hot key brings it back and plays the import.
xdotool windowminimize --sync "$window" 2>/dev/null || true
xdotool key --clearmodifiers ctrl+super+alt+v
for _ in $(seq 1 50); do
  xdotool search --onlyvisible --name '^Tavrine$' >/dev/null 2>&1 && break
  sleep 0.1
done
sleep 1.5
screen_changes 0.6 || fail "the imported text does not play"
shot 2-playing

# The keyboard focus to the reading area (a click on it), then Space pauses.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT * 35 / 100)) click 1
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
xdotool key space
sleep 0.5
screen_changes 0.6 && fail "Space did not pause the reading"
shot 3-paused

eval "$(xdotool getwindowgeometry --shell "$window")"
placed="$X,$Y"
quit

lines=$("$history_tool" "$store") || fail "the store cannot be opened"
echo "$lines" | grep -q '吾輩は猫である' || fail "the imported text is not in the history: $lines"
position=$(echo "$lines" | grep '吾輩は猫である' | head -1 | cut -d' ' -f1)
[ "$position" -gt 0 ] || fail "the reading was stored at its start"

launch
eval "$(xdotool getwindowgeometry --shell "$window")"
shot 4-relaunched
[ "$X,$Y" = "$placed" ] || fail "the window came back at $X,$Y, not at $placed"
quit
echo "one window; the clipboard imported by its hot key played and paused; quit with status 0; stored at $position; placed again at $placed"
