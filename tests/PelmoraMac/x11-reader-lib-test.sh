#!/usr/bin/env bash
# x11-reader-lib-test.sh
#
# The X11 scripts' helper library against a capture page and a window manager played by stand-ins for xdotool,
# xprop and the screenshot tool (no X display): clicks the page does not count are made again and the page's
# condition then holds; a page that never counts them, or counts them without its condition ever holding, fails
# within a few tries, saying what the page's title said and the window in front, with a screenshot named after
# the step and the reader's trace and store kept beside it; a window that ignores its first activation is
# activated again; a click on the reader is made again only while the reader tells no press of it, and a reader
# that took the click and did nothing fails at once; a modifier is let go only once the reader took its press; a
# key or a hot key lost is pressed again, and one the reader took and ignored fails within the effect's wait.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
export STAND_IN="$work/state"

# xdotool: window 42 is the browser in front, its title the capture page's ("Capture page OFFSET CLICKS 0
# page"). Clicks count unless $STAND_IN/lose still holds clicks to lose; an activation takes unless
# $STAND_IN/ignore still holds activations to ignore. Every click and activation is logged. A click elsewhere
# than on the page is one on the reader, which marks its press in the trace (under the sample button, or under
# the list while $STAND_IN/elsewhere holds presses to take there) and opens the sample unless $STAND_IN/idle
# holds presses it does nothing with. A key pressed and let go (key) reaches the reader unless lost, marked by its
# name as the reader names it (ctrl+Return is Ctrl+Return), and plays unless $STAND_IN/idle holds keys it does
# nothing with. A hot key (key --clearmodifiers ctrl+super+alt+v) is marked as the reader marks the chord it
# grabbed (hotkey Meta+Ctrl+Alt+V), lost or ignored likewise.
cat >"$work/bin/xdotool" <<'EOF'
#!/usr/bin/env bash
state=$STAND_IN
qt_name() { sed 's/\(^\|+\)\(.\)/\1\u\2/g' <<<"$1"; }
take() { local left; left=$(cat "$state/$1" 2>/dev/null || echo 0); [ "$left" -gt 0 ] && echo $((left - 1)) >"$state/$1"; }
case "$1" in
  getwindowname) echo "Capture page 80 $(cat "$state/clicks") 0 page" ;;
  getactivewindow) cat "$state/active" ;;
  getwindowfocus) cat "$state/active" ;;
  windowactivate)
    echo activate >>"$state/log"
    take ignore || echo "${@: -1}" >"$state/active" ;;
  keydown)
    echo "keydown $2" >>"$state/log"
    take lose || echo "key $(qt_name "$2") 1" >>"$state/trace" ;;
  key)
    if [ "$2" = --clearmodifiers ]; then
      echo "hotkey $3" >>"$state/log"
      take lose && exit 0
      echo "hotkey Meta+Ctrl+Alt+$(tr a-z A-Z <<<"${3##*+}") 1" >>"$state/trace"
      take idle || echo "status playing 2" >>"$state/trace"
      exit 0
    fi
    echo "key $2" >>"$state/log"
    take lose && exit 0
    echo "key $(qt_name "$2") 1" >>"$state/trace"
    take idle || echo "status playing 2" >>"$state/trace" ;;
  keyup) echo "keyup $2 after $(grep -c '^key Alt' "$state/trace") marks" >>"$state/log" ;;
  mousemove)
    if [ "$2" != --window ]; then
      echo "click at $2 $3" >>"$state/log"
      take lose && exit 0
      under=readerOpenSample
      take elsewhere && under=list
      echo "press $2 $3 $under 1" >>"$state/trace"
      [ "$under" = readerOpenSample ] && ! take idle && echo "focus 0 0 9 9 readerRSVPDisplay 2" >>"$state/trace"
      exit 0
    fi
    repeat=$(sed -n 's/.*--repeat \([0-9]*\).*/\1/p' <<<"$*")
    echo "click $repeat at $4 $5" >>"$state/log"
    take lose || echo $(($(cat "$state/clicks") + repeat)) >"$state/clicks" ;;
esac
EOF
printf '#!/bin/sh\necho \x27WM_CLASS(STRING) = "chromium", "Chromium"\x27\n' >"$work/bin/xprop"
printf '#!/bin/sh\necho png >"$1"\n' >"$work/bin/screenshot"
chmod +x "$work/bin/"*
export PATH="$work/bin:$PATH"

failures=0
check() {
  if ! eval "$2"; then
    echo "FAILED: $1" >&2
    failures=$((failures + 1))
  fi
}

# Whether what ran since $started ended by its own wait (the tries, the effect's): in seconds, far less than the
# overall limit, yet far more than two busy cores need.
within_bound() { [ $((SECONDS - started)) -lt 120 ]; }

# Runs the library's COMMAND... in a shell of its own, as a sourcing script (a limit of $limit seconds, 600 by
# default, an effect's wait of $effect seconds when given, short tries), with the page's clicks, the clicks to
# lose and the activations to ignore as given; its stderr in $work/said.
run_lib() {
  local clicks=$1 lose=$2 ignore=$3
  shift 3
  rm -rf "$STAND_IN" "$work/artifacts"
  mkdir -p "$STAND_IN"
  echo "$clicks" >"$STAND_IN/clicks"
  echo "$lose" >"$STAND_IN/lose"
  echo "$ignore" >"$STAND_IN/ignore"
  echo 7 >"$STAND_IN/active"
  echo "${elsewhere:-0}" >"$STAND_IN/elsewhere"
  echo "${idle:-0}" >"$STAND_IN/idle"
  : >"$STAND_IN/log"
  echo "launched 1" >"$STAND_IN/trace"
  mkdir -p "$STAND_IN/data/org.tavrine.Tavrine"
  echo '{"readings":[]}' >"$STAND_IN/data/org.tavrine.Tavrine/reading-store.json"
  XDG_DATA_HOME="$STAND_IN/data" TAVRINE_TRACE_FILE="$STAND_IN/trace" bash -c '
    set -euo pipefail
    source "$1"
    overall_end=$((SECONDS + ${limit:-600}))
    effect_seconds=${effect:-$effect_seconds}
    input_try_tenths=2
    page_settle_seconds=1
    browser=42 screenshot=screenshot artifacts=$2
    shift 2
    "$@"' x11-reader-lib-test "$(dirname "$(realpath "$0")")/x11-reader-lib.sh" "$work/artifacts" "$@" \
    2>"$work/said"
}
clicks_made() { grep -c '^click' "$STAND_IN/log" || true; }

# Two double clicks lost on their way: made again until the page counts one, and the page then selects.
started=$SECONDS
check "clicks lost twice are made again" 'run_lib 5 2 0 click_page 100 175 2 page_clicks_reach 7'
check "three double clicks made, the page counting one" '[ "$(clicks_made)" = 3 ] && [ "$(cat "$STAND_IN/clicks")" = 7 ]'
check "the lost clicks cost seconds, not the limit" 'within_bound'
check "each click made again is told" '[ "$(grep -c "made again: the page did not count 2 clicks" "$work/said")" = 2 ]'

# Clicks never counted: a few tries, then the page's title, the window in front and a screenshot.
started=$SECONDS
check "clicks never counted fail" '! run_lib 5 99 0 click_page 100 175 2 page_clicks_reach 7'
check "five tries at most" '[ "$(clicks_made)" = 5 ] && within_bound'
check "the failure names the step" 'grep -q "the page did not count 2 clicks at 100 175" "$work/said"'
check "the failure tells the page and the front window" \
  'grep -q "the page says \"Capture page 80 5 0 page\"" "$work/said" && grep -q "window 7 .*chromium" "$work/said"'
stem="$work/artifacts/x11-reader-lib-test-failed-the-page-did-not-count-2-clicks-at-100-175-after-5-tries"
check "a screenshot named after the step" '[ -s "$stem.png" ] && grep -qF "screenshot $stem.png" "$work/said"'
check "the reader's trace and store kept beside it" \
  'cmp -s "$STAND_IN/trace" "$stem.trace" && grep -qF "trace $stem.trace" "$work/said" &&
   cmp -s "$STAND_IN/data/org.tavrine.Tavrine/reading-store.json" "$stem-store.json" &&
   grep -qF "store $stem-store.json" "$work/said"'

# Clicks counted, the condition never holding: made again a few times, then failing as before.
check "a condition that never holds fails" '! run_lib 0 0 0 click_page 600 120 1 false'
check "clicked five times" '[ "$(clicks_made)" = 5 ]'
check "saying what did not hold" 'grep -q "1 clicks at 600 120 did not make false hold: the page says Capture page 80 5" "$work/said"'

# A window that ignores its first activation gets a second.
check "an ignored activation is made again" 'run_lib 0 0 1 activate_window 42'
check "activated twice" '[ "$(grep -c activate "$STAND_IN/log")" = 2 ]'

# A click on the sample button lost twice on its way, then one the list took before the button stood there: made
# again until a press reaches the button, which opens the sample.
check "a click on the reader made again while no press reaches its button" \
  'elsewhere=1 run_lib 0 2 0 open_sample_at 300 200'
check "four clicks, the last reaching the button" \
  '[ "$(grep -c "^click at 300 200" "$STAND_IN/log")" = 4 ] && [ "$(grep -c "^press" "$STAND_IN/trace")" = 2 ]'
check "each told" '[ "$(grep -c "made again: a click on the sample button" "$work/said")" = 3 ]'

# The reader takes the first press on its button and does nothing with it: one click, and the script fails
# saying what did not happen, however the second click would have done, once the effect's wait has passed, long
# before the overall limit.
started=$SECONDS
check "a click the reader took and did nothing with fails" '! idle=1 effect=2 run_lib 0 0 0 open_sample_at 300 200'
check "within the effect's wait, not the limit" 'within_bound'
check "never made again" '[ "$(grep -c "^click at" "$STAND_IN/log")" = 1 ] && ! grep -q "made again" "$work/said"'
check "saying what the click did not do" 'grep -q "a click on the sample button opened no sample" "$work/said"'

# Alt pressed and lost once: pressed again, and let go once, after the reader marked the press.
check "a key press lost once is made again" 'run_lib 0 1 0 key_reaching alt'
check "two presses, one release after the mark" \
  '[ "$(grep -c "^keydown alt" "$STAND_IN/log")" = 2 ] && [ "$(grep "^keyup" "$STAND_IN/log")" = "keyup alt after 1 marks" ]'

# Ctrl+Return lost once on its way, as while a closing panel hands the focus back: pressed again, and it plays.
check "a shortcut key lost once is made again" \
  'run_lib 0 1 0 key_doing ctrl+Return "Ctrl+Return did not play" status_is playing'
check "pressed twice, the reader marking the second" \
  '[ "$(grep -c "^key ctrl+Return" "$STAND_IN/log")" = 2 ] && [ "$(grep -c "^key Ctrl+Return" "$STAND_IN/trace")" = 1 ]'

# The reader takes Ctrl+Return and does nothing with it: pressed once, and the script fails once the effect's
# wait has passed, long before the overall limit.
started=$SECONDS
check "a key the reader took and ignored fails" \
  '! idle=1 effect=2 run_lib 0 0 0 key_doing ctrl+Return "Ctrl+Return did not play" status_is playing'
check "within the effect's wait" 'within_bound'
check "never pressed again" '[ "$(grep -c "^key ctrl+Return" "$STAND_IN/log")" = 1 ] && ! grep -q "made again" "$work/said"'
check "saying what the key did not do" 'grep -q "Ctrl+Return did not play" "$work/said"'

# The clipboard hot key lost once on its way (pressed before the reader grabbed it): pressed again, and it plays.
# One the reader took and ignored: pressed once, failing within the effect's wait.
check "a hot key lost once is made again" \
  'run_lib 0 1 0 eval "hotkey_reaching ctrl+super+alt+v; wait_for_effect \"the hot key did not play\" status_is playing"'
check "pressed twice, the reader marking the second" \
  '[ "$(grep -c "^hotkey ctrl+super+alt+v" "$STAND_IN/log")" = 2 ] &&
   [ "$(grep -c "^hotkey Meta+Ctrl+Alt+V" "$STAND_IN/trace")" = 1 ]'
started=$SECONDS
check "a hot key the reader took and ignored fails" \
  '! idle=1 effect=2 run_lib 0 0 0 eval "hotkey_reaching ctrl+super+alt+v; wait_for_effect \"the hot key did not play\" status_is playing"'
check "within the effect's wait, pressed once" \
  'within_bound && [ "$(grep -c "^hotkey" "$STAND_IN/log")" = 1 ] && grep -q "the hot key did not play" "$work/said"'

[ "$failures" = 0 ] || exit 1
echo "lost clicks and keys made again, lost activations made again, a click or key the reader took never made" \
  "again, every give-up with the page, the front window, a screenshot and the reader's trace and store"
