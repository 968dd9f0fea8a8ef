#!/usr/bin/env bash
# reader-desktop-x11.sh TAVRINE X11-FRAME-WATCH X11-WINDOW-OWNER X11-SCREENSHOT ARTIFACTS
#
# Where the real reader window appears, on an X display with openbox in its own configuration and two
# desktops (run under scripts/with-xvfb --openbox, which gives it fresh user folders):
# - relaunched while the window manager answers late (openbox stopped from before the launch until half a
#   second after the reader asked it for the window's frame), the window is mapped at the frame it was left
#   at: the frame's geometry when it is first mapped is that frame, and it is never moved or resized after
#   (its ConfigureNotify events watched);
# - the reader on desktop 2 while the user works in another program's window on desktop 1: the clipboard
#   hot key brings the reader to desktop 1, active, and desktop 1 stays the one shown;
# - the reader on the desktop shown stays there for the hot key;
# - the reader left on desktop 1 while the user is on desktop 2: "リーダーを開く" (asked by a second launch)
#   brings it to desktop 2, active.
# Screenshots in ARTIFACTS.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
tavrine=$1
frame_watch=$2
window_owner=$3
screenshot=$4
artifacts=$5
mkdir -p "$artifacts"
work=$(mktemp -d)
holders=()
cleanup() {
  # A script that gave up while openbox was stopped leaves it going on.
  kill -CONT "${TAVRINE_XVFB_WM_PID:-}" 2>/dev/null || true
  for holder in "${holders[@]}"; do kill "$holder" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Runs a helper that lives while its standard input is open; its output goes to FILE. Sets helper_pid
# to the process holding its input open, which ends it when killed.
start_helper() {
  local file=$1
  shift
  local fifo="$work/input.$RANDOM"
  mkfifo "$fifo"
  "$@" <"$fifo" >"$file" &
  sleep infinity >"$fifo" &
  helper_pid=$!
  holders+=("$helper_pid")
}

# Waits for FILE to hold a line matching PATTERN.
has_line() { grep -q "$2" "$1" 2>/dev/null; }
wait_for_line() {
  within_limit has_line "$1" "$2" || fail "no line matching $2 in $1: $(cat "$1")"
}

# The top-level window (the window manager's frame) around a client window, and its geometry as
# "X Y WIDTH HEIGHT".
frame_of() {
  local window=$1 parent root
  root=$(xwininfo -root | awk '/Window id:/ {print $4}')
  for _ in $(seq 1 16); do
    parent=$(xwininfo -children -id "$window" | awk '/Parent window id:/ {print $4}')
    [ "$parent" = "$root" ] && break
    window=$parent
  done
  printf '%d\n' "$window"
}
geometry_of() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print x, y, w, h}'
}

is_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
desktop_of() { xdotool get_desktop_for_window "$1"; }
# Asked afresh at each try (a value put on wait_for's command line would be read once).
shown_desktop_is() { [ "$(xdotool get_desktop)" = "$1" ]; }
on_desktop() { [ "$(desktop_of "$1")" = "$2" ]; }
# The reader's marks of its player's status ("status STATUS"): a hot key's import adds one.
export TAVRINE_TRACE_FILE="$work/trace"
status_marks() { grep -c '^status ' "$TAVRINE_TRACE_FILE" 2>/dev/null || true; }
more_status_marks_than() { [ "$(status_marks)" -gt "$1" ]; }

# Asked again until it holds: openbox may still be setting up its own desktops when this starts.
two_desktops() {
  [ "$(xdotool get_num_desktops 2>/dev/null)" = 2 ] && return 0
  xdotool set_num_desktops 2
  return 1
}
wait_for "openbox did not make two desktops" two_desktops

# ---- A first launch, the window moved by the user, then quit ----
launch_reader "$tavrine"
activate_window "$window"
wait_for "the new reader window is not active" is_active "$window"
frame=$(frame_of "$window")
eval "$(xdotool getwindowgeometry --shell "$window")"
# A place the window manager would not choose by itself.
placed_at=$(geometry_of "$frame")
xdotool windowmove "$window" $((X - 97)) $((Y - 61))
moved() { [ "$(geometry_of "$frame")" != "$placed_at" ]; }
wait_for "the window manager did not move the window" moved
left_at=$(geometry_of "$frame")
activate_window "$window"
key_reaching ctrl+q
wait_for_quit "$pid"

# ---- Relaunched while the window manager answers late: mapped where it was left, and never moved after ----
events="$work/frames"
start_helper "$events" "$frame_watch"
wait_for_line "$events" '^ready$'
# Openbox, stopped, answers nothing until it goes on: half a second after the reader asked it for the frame it
# will give the window, far longer than a window manager on an idle machine takes, as one on a loaded machine may.
idle=$(trace_marks '^idle ')
kill -STOP "$TAVRINE_XVFB_WM_PID"
"$tavrine" &
pid=$!
within_seconds "$effect_seconds" has_line "$events" '^request-frame-extents ' ||
  fail "the reader asked the window manager nothing before it showed its window: $(cat "$events")"
sleep 0.5
kill -CONT "$TAVRINE_XVFB_WM_PID"
window=$(wait_for_window '^Tavrine$' Tavrine)
wait_for_mark '^idle ' $((idle + 1))
grep -q "^request-frame-extents $window\$" "$events" || fail "the reader did not ask for its window's frame: $(cat "$events")"
# A move after the mapping is what must not come: the window is watched a while after it.
sleep 1.5
frame=$(frame_of "$window")
grep -q "^reparent $window $frame\$" "$events" || fail "the watcher did not see the window framed: $(cat "$events")"
# The frame's geometry as the events left it when it was first mapped, and every change after.
read -r -a mapped < <(awk -v f="$frame" '
  ($1 == "create" || $1 == "configure") && $2 == f { geometry = $3 " " $4 " " $5 " " $6 }
  $1 == "map" && $2 == f { print geometry; exit }' "$events")
[ "${mapped[*]:-}" = "$left_at" ] ||
  fail "the frame was first mapped at ${mapped[*]:-nothing}, not where it was left ($left_at): $(cat "$events")"
after=$(awk -v f="$frame" '$1 == "map" && $2 == f {m = 1; next} m && $1 == "configure" && $2 == f' "$events" |
  awk -v g="$left_at" '$3 " " $4 " " $5 " " $6 != g')
[ -z "$after" ] || fail "the frame moved after it was mapped: $after"
[ "$(geometry_of "$frame")" = "$left_at" ] || fail "the frame is at $(geometry_of "$frame"), not $left_at"
"$screenshot" "$artifacts/reader-desktop-1-relaunched.png"

# ---- The reader on desktop 2, the user on desktop 1 in another program's window ----
start_helper "$work/owner" "$window_owner"
wait_for_line "$work/owner" '^[0-9]'
owner=$(cut -d' ' -f1 "$work/owner")
xdotool set_desktop_for_window "$window" 1
xdotool set_desktop 0
wait_for "desktop 1 is not shown" shown_desktop_is 0
activate_window "$owner"
wait_for "the other program's window is not active" is_active "$owner"
[ "$(desktop_of "$window")" = 1 ] || fail "the reader is not on desktop 2"

copy_text "吾輩は猫である。名前はまだ無い。"
hotkey_reaching ctrl+super+alt+v
wait_for_effect "the hot key did not activate the reader" is_active "$window"
[ "$(desktop_of "$window")" = 0 ] || fail "the reader stayed on desktop $(($(desktop_of "$window") + 1))"
[ "$(xdotool get_desktop)" = 0 ] || fail "the hot key took the user to desktop $(($(xdotool get_desktop) + 1))"
"$screenshot" "$artifacts/reader-desktop-2-hot-key.png"

# ---- The reader on the desktop shown stays there ----
xdotool set_desktop_for_window "$window" 1
xdotool set_desktop 1
wait_for "desktop 2 is not shown" shown_desktop_is 1
activate_window "$window"
before=$(status_marks)
hotkey_reaching ctrl+super+alt+v
# The hot key's import done, so that it cannot act after the next step moves the reader away.
wait_for_effect "the hot key on the reader's own desktop imported nothing" more_status_marks_than "$before"
is_active "$window" || fail "the hot key left the reader inactive on its own desktop"
[ "$(desktop_of "$window")" = 1 ] || fail "the reader on the desktop shown moved to desktop $(($(desktop_of "$window") + 1))"
[ "$(xdotool get_desktop)" = 1 ] || fail "the hot key changed the desktop shown"

# ---- "リーダーを開く" (a second launch asks the first) brings it from desktop 1 to desktop 2 ----
xdotool set_desktop_for_window "$window" 0
wait_for "the reader did not go to desktop 1" on_desktop "$window" 0
is_active "$window" && fail "the reader left for desktop 1 is still active"
"$tavrine"
wait_for "リーダーを開く did not activate the reader" is_active "$window"
[ "$(desktop_of "$window")" = 1 ] || fail "リーダーを開く left the reader on desktop $(($(desktop_of "$window") + 1))"
[ "$(xdotool get_desktop)" = 1 ] || fail "リーダーを開く took the user to desktop $(($(xdotool get_desktop) + 1))"
"$screenshot" "$artifacts/reader-desktop-3-open-reader.png"

activate_window "$window"
key_reaching ctrl+q
wait_for_quit "$pid"
echo "relaunched at $left_at with no move after mapping; the hot key and リーダーを開く brought the reader to the desktop shown, active"
