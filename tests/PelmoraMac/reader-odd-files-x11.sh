#!/usr/bin/env bash
# reader-odd-files-x11.sh TAVRINE
#
# The real executable on an X display with a window manager (run under scripts/with-xvfb --openbox, which
# gives it fresh user folders), where others left odd things. In the place of the settings file: a FIFO,
# a directory, a link to /dev/zero and a 2 MiB file. Each time the reader window appears no later than
# 5 s after a clean start would show it, one warning names the file, and after the quit only the
# regular file has been moved aside (as "defaults.json.corrupt"); the others are as they were.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
tavrine=$1
config="$XDG_CONFIG_HOME/org.tavrine.Tavrine"
settings="$config/defaults.json"
errors="$XDG_CACHE_HOME/tavrine.err"

now_ms() { date +%s%3N; }

# Starts the reader with stderr kept, waits at most LIMIT milliseconds for its window and prints how long
# it took; sets pid and window. Fails naming CASE when no window appears in time.
# shellcheck disable=SC2034 # window is for the caller
launch_within() {
  local limit=$1 case=$2 started found=""
  started=$(now_ms)
  "$tavrine" 2>"$errors" &
  pid=$!
  while [ $(($(now_ms) - started)) -le "$limit" ]; do
    found=$(xdotool search --onlyvisible --name '^Tavrine$' 2>/dev/null | head -1 || true)
    [ -n "$found" ] && break
    kill -0 "$pid" 2>/dev/null || fail "$case: tavrine ended before its window appeared: $(cat "$errors")"
    sleep 0.05
  done
  if [ -z "$found" ]; then
    kill -KILL "$pid" 2>/dev/null || true
    fail "$case: no window within $limit ms; stderr: $(cat "$errors")"
  fi
  window=$found
  elapsed=$(($(now_ms) - started))
}

# Quits the reader through SIGTERM, as a session ending does, and checks that it ended cleanly.
quit_reader() {
  kill -TERM "$pid"
  wait_for_quit "$pid"
}

# ---- A clean start, to know what the machine takes ----
launch_within $(($(patience) * 1000)) "clean start"
clean=$elapsed
quit_reader
rm -rf "$config"
limit=$((clean + 5000))
echo "clean start: window after $clean ms; each odd settings file gets $limit ms"

# ---- Odd things in the settings file's place ----
for case in fifo directory zero large; do
  mkdir -p "$config"
  case $case in
    fifo) mkfifo "$settings" ;;
    directory) mkdir "$settings" ;;
    zero) ln -s /dev/zero "$settings" ;;
    large) head -c $((2 * 1024 * 1024)) /dev/zero | tr '\0' ' ' >"$settings" ;;
  esac
  [ "$case" = large ] && cp "$settings" "$XDG_CACHE_HOME/large-settings"
  idle=$(trace_marks '^idle ')
  launch_within "$limit" "$case"
  took=$elapsed
  # Whatever the window's first appearance saves (its place) is in the settings by the time it quits: the
  # reader has gone idle after it.
  wait_for_mark '^idle ' $((idle + 1))
  quit_reader
  warnings=$(grep -c -F "$settings" "$errors" || true)
  [ "$warnings" = 1 ] || fail "$case: $warnings warnings name the settings file: $(cat "$errors")"
  case $case in
    fifo) [ -p "$settings" ] || fail "fifo: the FIFO is gone" ;;
    directory) [ -d "$settings" ] && [ ! -L "$settings" ] || fail "directory: the directory is gone" ;;
    zero) [ "$(readlink "$settings")" = /dev/zero ] || fail "zero: the link is gone" ;;
    large)
      cmp -s "$config/defaults.json.corrupt" "$XDG_CACHE_HOME/large-settings" ||
        fail "large: the file was not moved aside whole"
      [ -f "$settings" ] && [ "$(stat -c %s "$settings")" -lt 1048576 ] || fail "large: no new settings file"
      ;;
  esac
  if [ "$case" != large ] && [ -e "$config/defaults.json.corrupt" ]; then
    fail "$case: something was moved aside"
  fi
  echo "$case as the settings file: window after $took ms, one warning, $( [ "$case" = large ] && echo "moved aside" || echo "left alone")"
  rm -rf "$config"
done
[ -c /dev/zero ] || fail "/dev/zero is no longer a device"
