#!/usr/bin/env bash
# reader-menu-x11.sh TAVRINE X11-SCREENSHOT ARTIFACTS
#
# The real executable's menu keys on an X display with a window manager (run under scripts/with-xvfb
# --openbox, which gives it fresh user folders), observed through the lines "menu KEYS" it appends to the
# file TAVRINE_TRACE_FILE names whenever an item runs: over the built-in sample, Ctrl+Return, Ctrl++ (typed
# Ctrl+Shift+=), Meta+Ctrl+S (Super) and Ctrl+Shift+Up each run their item once; Ctrl+Shift+Down, disabled at
# 1.0×, runs nothing; Ctrl+Q quits. Openbox keeps its own key bindings: none of them is ours. A give-up leaves
# its screenshot in ARTIFACTS.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
tavrine=$1
screenshot=$2
artifacts=$3
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT

# How many times the item with these keys ran.
runs() {
  grep -c "^menu $1 " "$trace" || true
}

export TAVRINE_TRACE_FILE="$trace"
launch_reader "$tavrine"
activate_window "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
# The start view's sample button stands in the middle of the reader column.
open_sample_at $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))

# Presses KEYS and waits until RAN items have run in all. The reader handles keys in order: the disabled
# key pressed first has had its chance once the item of the key after it has run.
menu_runs() { grep -c '^menu ' "$trace" || true; }
have_run() { [ "$(menu_runs)" -ge "$1" ]; }
press() {
  key_reaching "$1"
  [ -z "${2:-}" ] || wait_for_effect "$1 ran no item" have_run "$2"
}
press ctrl+shift+Down
press ctrl+Return 1
press ctrl+Return 2
press ctrl+plus 3
press super+ctrl+s 4
press super+ctrl+s 5
press ctrl+shift+Up 6

[ "$(runs 'Ctrl+Shift+Down')" = 0 ] || fail "the disabled Ctrl+Shift+Down ran its item"
[ "$(runs 'Ctrl+Return')" = 2 ] || fail "Ctrl+Return ran $(runs 'Ctrl+Return') times, not twice"
for keys in 'Ctrl++' 'Ctrl+Shift+Up'; do
  [ "$(runs "$keys")" = 1 ] || fail "$keys ran $(runs "$keys") times, not once"
done
[ "$(runs 'Meta+Ctrl+S')" = 2 ] || fail "Meta+Ctrl+S ran $(runs 'Meta+Ctrl+S') times, not twice"

key_reaching ctrl+q
wait_for_quit "$pid"
echo "each key ran its item once per press; the disabled one ran nothing"
