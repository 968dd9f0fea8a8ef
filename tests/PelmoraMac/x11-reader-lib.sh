# shellcheck shell=bash
# Sourced by the X11 scripts beside it, which run the real executable under scripts/with-xvfb --openbox.
# Messages name the sourcing script (its file name without .sh). The scripts set `screenshot` to the
# x11-screenshot tool before calling screen_changes.

# Under the sanitizers, a leak Qt's GUI library sometimes leaves at exit is not the application's.
LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$(realpath "${BASH_SOURCE[0]}")")/lsan-qt-gui.supp"
export LSAN_OPTIONS

script_name=$(basename "$0" .sh)

fail() {
  echo "$script_name: $*" >&2
  exit 1
}

# Waits up to twenty seconds for a visible window whose title matches PATTERN and prints the first one's
# id; fails naming TITLE (the pattern itself by default) if none appears.
wait_for_window() {
  local pattern=$1 title=${2:-$1} found=""
  for _ in $(seq 1 200); do
    found=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -1 || true)
    [ -n "$found" ] && break
    sleep 0.1
  done
  [ -n "$found" ] || fail "no window titled $title appeared"
  echo "$found"
}

# Gives the window the keyboard: activated through the window manager, or focused where that is refused.
activate_window() {
  xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus --sync "$1"
}

# Runs COMMAND... in the background as the reader and waits for its window titled "Tavrine"; sets pid and
# window. The window is not activated: callers differ in what they do first.
# shellcheck disable=SC2034 # pid and window are for the sourcing script
launch_reader() {
  "$@" &
  pid=$!
  window=$(wait_for_window '^Tavrine$' Tavrine)
}

# Waits up to thirty seconds for the reader PID to end after a quit, killing it and failing if it does
# not; fails unless it ended with status 0.
wait_for_quit() {
  local quitting=$1 status=0
  for _ in $(seq 1 300); do kill -0 "$quitting" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$quitting" 2>/dev/null && { kill -KILL "$quitting"; fail "tavrine did not quit"; }
  wait "$quitting" || status=$?
  [ "$status" -eq 0 ] || fail "tavrine ended with status $status"
}

# Whether the screen, or the rectangle X Y WIDTH HEIGHT of it, differs between two screenshots taken
# SECONDS apart.
screen_changes() {
  local seconds=$1 first second
  shift
  first=$(mktemp --suffix=.png) second=$(mktemp --suffix=.png)
  # shellcheck disable=SC2154 # set by the sourcing script
  "$screenshot" "$first" "$@"
  sleep "$seconds"
  "$screenshot" "$second" "$@"
  if cmp -s "$first" "$second"; then rm -f "$first" "$second"; return 1; fi
  rm -f "$first" "$second"
}
