#!/usr/bin/env bash
# reader-refusal-x11.sh TAVRINE X11-SCREENSHOT ARTIFACTS
#
# The real executable on an X display with openbox in its own default configuration (run under
# scripts/with-xvfb --openbox, which gives it fresh user folders): a second launch against a first
# instance that is stopped (SIGSTOP) says on stderr that Tavrine runs but does not respond, naming its
# process, and shows the same in a small window "Tavrineを起動できません" within 5 s, which a screenshot
# keeps; Return closes it, the launch ends with status 1, and the first instance keeps its one window.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
reader_script reader-refusal "$@"
errors="$XDG_CACHE_HOME/second.err"

now_ms() { date +%s%3N; }

launch_reader "$tavrine" 2>"$XDG_CACHE_HOME/first.err"
first=$pid
first_window=$window
# Past its start-up: the instance listens before its window shows.
kill -STOP "$first"
trap 'kill -CONT "$first" 2>/dev/null || true' EXIT
# Whether the first instance still runs (stopped), saying how it ended otherwise.
first_runs() {
  [ "$(ps -o stat= -p "$first" 2>/dev/null | cut -c1)" = T ] && return 0
  fail "the first instance is no longer stopped ($(ps -o stat= -p "$first" 2>/dev/null || echo gone)): $(cat "$XDG_CACHE_HOME/first.err")"
}
first_runs

started=$(now_ms)
"$tavrine" 2>"$errors" &
second=$!
refusal=$(wait_for_window '^Tavrineを起動できません$')
took=$(($(now_ms) - started))
kill -0 "$second" 2>/dev/null || fail "the second launch ended before its window was closed"
said=$(cat "$errors")
first_runs
grep -q "does not respond" <<<"$said" || fail "the second launch said: $said"
grep -q "process $first" <<<"$said" || fail "the second launch did not name process $first: $said"
activate_window "$refusal"
shot not-responding

# The refusal comes before the reader marks anything: its word that Return arrived is its end.
made_again "Return did not reach the refusal" has_ended "$second" -- xdotool key Return
status=0
within_limit has_ended "$second" || { kill -KILL "$second"; fail "Return did not close the refusal"; }
wait "$second" || status=$?
[ "$status" = 1 ] || fail "the second launch ended with status $status, not 1; stderr: $said"

kill -CONT "$first"
shown=$(xdotool search --onlyvisible --name '^Tavrine$' 2>/dev/null || true)
[ "$(wc -l <<<"$shown")" = 1 ] || fail "windows titled Tavrine: $shown (the first instance's: $first_window)"
kill -TERM "$first"
wait_for_quit "$first"
echo "stopped instance: a second launch said \"$said\", showed its window after $took ms and ended with 1 on Return"
