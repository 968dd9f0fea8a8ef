#!/usr/bin/env bash
# workspace-x11.sh WORKSPACE-PREVIEW X11-SCREENSHOT ARTIFACTS BOOK
#
# The workspace on an X display with a window manager (run under scripts/with-xvfb --openbox): the sample
# book paused in chapter 一 with its table of contents open and focused, kept as a screenshot of the
# display; then the keys a person presses: Down, Down and Return move the player to the start of 二, which
# the pane marks; Escape closes the pane and the display takes the focus; Space plays. Skipped (status 77)
# when BOOK, the shared sample book, is not beside the clone.
set -euo pipefail
preview=$1
screenshot=$2
artifacts=$3
book=$4
if [ ! -f "$book" ]; then
  echo "workspace-x11: skipped: the sample book $book is not there (../shared/data beside the clone)"
  exit 77
fi
mkdir -p "$artifacts"
log="$XDG_CACHE_HOME/workspace-preview.log"
errors="$XDG_CACHE_HOME/workspace-preview.err"

fail() {
  echo "workspace-x11: $*" >&2
  echo "--- preview output:" >&2
  cat "$log" >&2 || true
  echo "--- preview errors:" >&2
  cat "$errors" >&2 || true
  exit 1
}

# The one limit of the script's waits, all of them together: each waits for a condition, never for a set
# time; the limit, nine tenths of the test's (TAVRINE_TEST_LIMIT, 300 s when run by hand), ends a wait for
# something that never comes before CTest ends the script.
overall_end=$((SECONDS + ${TAVRINE_TEST_LIMIT:-300} * 9 / 10))

# Waits until the preview has printed a state line matching the pattern.
wait_for_state() {
  until grep -qE "$1" "$log"; do
    kill -0 "$pid" 2>/dev/null || fail "the preview ended while waiting for: $1"
    [ "$SECONDS" -lt "$overall_end" ] || fail "no state matching: $1"
    sleep 0.1
  done
}

"$preview" "$book" >"$log" 2>"$errors" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

window=""
until window=$(xdotool search --onlyvisible --name '^Tavrine workspace preview$' 2>/dev/null | head -1) &&
  [ -n "$window" ]; do
  kill -0 "$pid" 2>/dev/null || fail "the preview ended before its window appeared"
  [ "$SECONDS" -lt "$overall_end" ] || fail "no preview window appeared"
  sleep 0.1
done
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus --sync "$window"

wait_for_state 'pane=open focus=list chapter=一 marked=一 status=paused'
# Kept once the screen is at rest: two screenshots a fifth of a second apart alike.
"$screenshot" "$artifacts/workspace-epub.png"
until sleep 0.2 && "$screenshot" "$XDG_CACHE_HOME/workspace-again.png" &&
  cmp -s "$artifacts/workspace-epub.png" "$XDG_CACHE_HOME/workspace-again.png"; do
  [ "$SECONDS" -lt "$overall_end" ] || fail "the workspace never came to rest"
  mv "$XDG_CACHE_HOME/workspace-again.png" "$artifacts/workspace-epub.png"
done
[ -s "$artifacts/workspace-epub.png" ] || fail "no screenshot"

xdotool key --delay 150 Down Down Return
wait_for_state 'pane=open focus=list chapter=二 marked=二 status=paused'

xdotool key Escape
wait_for_state 'pane=closed focus=display chapter=二 .*status=paused'

xdotool key space
wait_for_state 'pane=closed focus=display chapter=二 .*status=playing'
echo "workspace: pane focused in 一, Down Down Return to 二, Escape to the display, Space plays"
