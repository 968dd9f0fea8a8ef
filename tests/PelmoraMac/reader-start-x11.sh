#!/usr/bin/env bash
# reader-start-x11.sh TAVRINE X11-SCREENSHOT ARTIFACTS
#
# The real executable on an X display with a window manager (run under scripts/with-xvfb --openbox, which
# gives it fresh user folders). A DISPLAY that names no server, or a screen its server lacks: one line on
# stderr naming it, status 1, no data folder. Then one window "Tavrine" with a 720×720 client area, kept
# as a screenshot; a second launch on the same data folder ends with status 0 and no second window; Ctrl+Q
# quits with status 0 and a first launch leaves no data folder behind. Then, over a truncated store file: the window opens,
# Ctrl+Q quits, and the file is byte for byte as it was, with only the store's lock file beside it.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
tavrine=$1
screenshot=$2
artifacts=$3
mkdir -p "$artifacts"
data="$XDG_DATA_HOME/org.tavrine.Tavrine"

# The visible windows titled exactly "Tavrine", one per line.
reader_windows() {
  xdotool search --onlyvisible --name '^Tavrine$' 2>/dev/null || true
}

# Waits until exactly one such window is mapped and prints its id.
has_reader_window() { [ -n "$(reader_windows)" ]; }
wait_for_window() {
  local windows
  within_limit has_reader_window || fail "no window titled Tavrine appeared"
  windows=$(reader_windows)
  [ "$(echo "$windows" | wc -l)" = 1 ] || fail "more than one window: $windows"
  echo "$windows"
}

# Waits for a process to end by itself and checks its status.
expect_exit() {
  local pid=$1 expected=$2 status=0
  within_limit has_ended "$pid" || { kill -KILL "$pid"; fail "process $pid did not end"; }
  wait "$pid" || status=$?
  [ "$status" = "$expected" ] || fail "process $pid ended with status $status, not $expected"
}

# Ctrl+Q to the window, once it has the keyboard focus.
quit_with_keys() {
  local window=$1
  activate_window "$window"
  key_reaching ctrl+q
}

# A DISPLAY the reader cannot show a window on: one line on stderr naming it and ending with REASON,
# status 1, no data folder.
expect_refused_display() {
  local display=$1 reason=$2 status=0 said
  said=$(DISPLAY="$display" timeout "$(patience)" "$tavrine" 2>&1 >/dev/null) || status=$?
  [ "$status" = 1 ] || fail "with DISPLAY=$display it ended with status $status: $said"
  [ "$(printf '%s\n' "$said" | wc -l)" = 1 ] || fail "with DISPLAY=$display it said more than one line: $said"
  case "$said" in
    *"could not open the X display \"$display\" named by DISPLAY: $reason") ;;
    *) fail "with DISPLAY=$display it did not say which display it could not open, and why: $said" ;;
  esac
  [ ! -e "$data" ] || fail "a refused display left $data"
}

# ---- A DISPLAY that names no X server (a terminal left from an ended session) ----
stale=99
while [ -e "/tmp/.X11-unix/X$stale" ] || [ -e "/tmp/.X$stale-lock" ]; do stale=$((stale + 1)); done
expect_refused_display ":$stale" "no X server answers there, or it does not let this user in"
echo "a DISPLAY without a server: status 1, one line"

# ---- A DISPLAY naming a screen that the running server lacks (it has screen 0 only) ----
expect_refused_display "${DISPLAY%.*}.5" "its X server has no screen 5"
echo "a DISPLAY naming a screen the server lacks: status 1, one line"

# ---- A first launch ----
"$tavrine" &
first=$!
window=$(wait_for_window)
# Painted, and the reader idle after it.
wait_for_mark '^idle '
read -r width height < <(xwininfo -id "$window" | awk '/^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print w, h}')
[ "$width" = 720 ] && [ "$height" = 720 ] || fail "the window's client area is ${width}×${height}, not 720×720"
# The window manager's title bar: its frame reaches above the client area.
top=$(xprop -id "$window" _NET_FRAME_EXTENTS | sed -n 's/.*= *[0-9]*, *[0-9]*, *\([0-9]*\),.*/\1/p')
[ -n "$top" ] && [ "$top" -gt 0 ] || fail "the window has no title bar (frame extents: $(xprop -id "$window" _NET_FRAME_EXTENTS))"
"$screenshot" "$artifacts/reader-window-start.png"

# A second launch on the same store hands over and ends; no second window appears.
second_status=0
timeout "$(patience)" "$tavrine" || second_status=$?
[ "$second_status" = 0 ] || fail "the second launch ended with status $second_status"
# A second window is what must not come: the screen is watched for one a while.
sleep 0.5
[ "$(reader_windows | wc -l)" = 1 ] || fail "a second window appeared"

quit_with_keys "$window"
expect_exit "$first" 0
[ ! -e "$data" ] || fail "a first launch created $data"
echo "first launch: one window, client 720×720 (title bar $top px), second launch handed over, Ctrl+Q quit"

# ---- Over a truncated store file ----
mkdir -p "$data"
printf '{"version":3,"documents":[{"reading":{"id":"6F1C2A4E-0B7D' >"$data/reading-store.json"
cp "$data/reading-store.json" "$XDG_CACHE_HOME/truncated-store.json"
"$tavrine" &
damaged=$!
window=$(wait_for_window)
quit_with_keys "$window"
expect_exit "$damaged" 0
cmp -s "$data/reading-store.json" "$XDG_CACHE_HOME/truncated-store.json" || fail "the store file changed"
beside=$(ls -A "$data" | tr '\n' ' ')
[ "$beside" = "reading-store.json reading-store.json.lock " ] || fail "the store's folder holds: $beside"
echo "truncated store: window opened, file unchanged, only its lock beside it"
