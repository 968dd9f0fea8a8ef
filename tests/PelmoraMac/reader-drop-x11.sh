#!/usr/bin/env bash
# reader-drop-x11.sh TAVRINE DRAG-SOURCE X11-SCREENSHOT ARTIFACTS
#
# The real executable on an X display with a window manager (run under scripts/with-xvfb --openbox, which
# gives it fresh user folders): another client drags a .txt file onto the reader window by a real drag and
# drop, driven by xdotool. The window takes it as a copy, imports it into the library and opens it; after
# Ctrl+Q the reading is in the stored library. Screenshots before, during and after the drop are kept.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
tavrine=$1
drag_source=$2
screenshot=$3
artifacts=$4
mkdir -p "$artifacts"
data="$XDG_DATA_HOME/org.tavrine.Tavrine"
work=$(mktemp -d)
file="$work/散歩の記録.txt"
printf '川沿いの道を歩いた記録です。橋の上で足を止めました。' >"$file"
source_out="$work/drag-source.out"
tavrine_pid=""
source_pid=""
cleanup() {
  [ -n "$source_pid" ] && kill "$source_pid" 2>/dev/null || true
  [ -n "$tavrine_pid" ] && kill "$tavrine_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

shot() {
  "$screenshot" "$artifacts/reader-drop-$1.png"
}

# The window's place on the screen, as X and Y (xdotool's report counts the frame twice under openbox).
place_of() {
  local info
  info=$(xwininfo -id "$1")
  X=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
  Y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
  WIDTH=$(awk '/Width:/ {print $2}' <<<"$info")
  HEIGHT=$(awk '/Height:/ {print $2}' <<<"$info")
}

"$tavrine" &
tavrine_pid=$!
window=$(wait_for_window '^Tavrine$')
# Painted, and the reader idle after it.
wait_for_mark '^idle '
activate_window "$window"
place_of "$window"
target_x=$((X + WIDTH / 2))
target_y=$((Y + HEIGHT / 3))

# The drag source's lines: "ready", "dragging", "accepted", then the action.
source_said() { grep -qx "$1" "$source_out" 2>/dev/null; }

"$drag_source" "$file" 20 900 >"$source_out" &
source_pid=$!
source_window=$(wait_for_window '^drag-source$')
wait_for_start "the drag source did not show" source_said ready
place_of "$source_window"
shot 1-before

# Press in the source (the drag starts), move over the window in steps, each one told to the window under
# the pointer, until the window takes the drop there, then release over it.
xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
xdotool mousedown 1
wait_for "the press did not start a drag" source_said dragging
for step in 1 2 3 4 5 6 7 8; do
  xdotool mousemove --sync $((X + WIDTH / 2 + (target_x - X - WIDTH / 2) * step / 8)) \
    $((Y + HEIGHT / 2 + (target_y - Y - HEIGHT / 2) * step / 8))
done
xdotool mousemove --sync $((target_x + 2)) "$target_y"
wait_for "the reader window did not take the drag" source_said accepted
shot 2-dragging
shown=$(trace_marks '^phrase-shown ')
xdotool mouseup 1

wait_for "the drag source did not end" has_ended "$source_pid"
wait "$source_pid" || fail "the drag source ended with status $?"
source_pid=""
action=$(tail -n 1 "$source_out")
[ "$action" = copy ] || fail "the window did not take the drop as a copy (the source says: $action)"

# The import runs on; the file's text is then stored in the library, and the reading opened, its first
# phrase shown.
stored() { grep -rqs '川沿いの道を歩いた記録です。' "$data"; }
wait_for "the dropped file was not stored" stored
wait_for_mark '^phrase-shown ' $((shown + 1))
xdotool mousemove 0 0
shot 3-imported

xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
key_reaching ctrl+q
wait_for_quit "$tavrine_pid"
tavrine_pid=""
grep -q '散歩の記録' "$data/reading-store.json" || fail "the dropped file is not in the stored library"
echo "a file dragged from another client was taken as a copy, imported and stored"
