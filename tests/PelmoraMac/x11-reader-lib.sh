# shellcheck shell=bash
# Sourced by the X11 scripts beside it, which run the real executable under scripts/with-xvfb --openbox.
# Messages name the sourcing script (its file name without .sh). The scripts set `screenshot` to the
# x11-screenshot tool before calling screen_changes.

# Under the sanitizers, a leak Qt's GUI library sometimes leaves at exit is not the application's.
LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$(realpath "${BASH_SOURCE[0]}")")/lsan-qt-gui.supp"
export LSAN_OPTIONS

script_name=$(basename "$0" .sh)

# reader_script PREFIX TAVRINE SCREENSHOT ARTIFACTS [...]: takes the arguments most scripts start with, the
# executable (tavrine), the x11-screenshot tool (screenshot) and the folder kept for screenshots (artifacts,
# made here); `shot NAME` then keeps a screenshot there as PREFIX-NAME.png.
reader_script() {
  shot_prefix=$1
  tavrine=$2
  screenshot=$3
  artifacts=$4
  mkdir -p "$artifacts"
}
shot() {
  "$screenshot" "$artifacts/$shot_prefix-$1.png"
}

# Gives up with MESSAGE and what the display showed then: the window in front, the capture page's title while a
# browser is driven ($browser), what the script adds (a function script_state, when it defines one), and a
# screenshot of the screen in the folder $artifacts, named after the script and the step given up on, when the
# script sets $artifacts and $screenshot; beside it, the evidence that would go with the script's folders
# (keep_evidence).
fail() {
  echo "$script_name: $*" >&2
  echo "$script_name: seen: $(what_was_seen "$*")" >&2
  exit 1
}

# A file name's part made of MESSAGE: its letters and digits, each run of anything else one hyphen.
step_name() {
  printf '%s' "$1" | LC_ALL=C tr -c 'A-Za-z0-9' '-' | tr -s '-' | sed 's/^-//' | cut -c1-80 | sed 's/-$//'
}

# The window in front, its title and class; the page's title; the script's own state; the screenshot's path.
what_was_seen() {
  local front title class focus shot
  front=$(timeout 5 xdotool getactivewindow 2>/dev/null || true)
  if [ -n "$front" ]; then
    title=$(timeout 5 xdotool getwindowname "$front" 2>/dev/null || true)
    class=$(timeout 5 xprop -id "$front" WM_CLASS 2>/dev/null | sed 's/^WM_CLASS([A-Z_]*) = //' || true)
    printf 'in front window %s "%s" (%s)' "$front" "$title" "${class:-no class}"
  else
    printf 'no window in front'
  fi
  focus=$(timeout 5 xdotool getwindowfocus 2>/dev/null || true)
  printf ', focus on %s' "${focus:-nothing}"
  [ -z "$focus" ] || printf ' "%s"' "$(timeout 5 xdotool getwindowname "$focus" 2>/dev/null || true)"
  if [ -n "${browser:-}" ]; then
    printf ', the page says "%s"' "$(timeout 5 xdotool getwindowname "$browser" 2>/dev/null || true)"
  fi
  if declare -F script_state >/dev/null; then printf ', %s' "$(script_state)"; fi
  if [ -n "${artifacts:-}" ]; then
    mkdir -p "$artifacts"
    shot="$artifacts/$script_name-failed-$(step_name "$1")"
    if [ -n "${screenshot:-}" ] && timeout 20 "$screenshot" "$shot.png" >/dev/null 2>&1; then
      printf ', screenshot %s' "$shot.png"
    fi
    keep_evidence "$shot"
  fi
  echo
}

# Copies, to files whose names begin with STEM, what the reader wrote and kept, which go with the script's own
# folders and the user folders with-xvfb made: its trace ($TAVRINE_TRACE_FILE, to STEM.trace), its reading store
# (to STEM-store.json), and what the script adds (a function script_evidence, given STEM, when it defines one);
# prints where each went.
keep_evidence() {
  local stem=$1 store="${XDG_DATA_HOME:-/nonexistent}/org.tavrine.Tavrine/reading-store.json"
  if [ -f "${TAVRINE_TRACE_FILE:-}" ] && cp "$TAVRINE_TRACE_FILE" "$stem.trace" 2>/dev/null; then
    printf ', trace %s' "$stem.trace"
  fi
  if [ -f "$store" ] && cp "$store" "$stem-store.json" 2>/dev/null; then printf ', store %s' "$stem-store.json"; fi
  if declare -F script_evidence >/dev/null; then script_evidence "$stem"; fi
}

# The one limit of the script's waits, all of them together: each waits for a condition (a window
# mapped, a menu shown, a trace mark, a process ended), never for a set time, so a loaded machine only
# makes the script slower; the limit, nine tenths of the test's (TAVRINE_TEST_LIMIT, the seconds CTest gives
# it; 300 when run by hand), ends a wait for something that never comes before CTest ends the script, so that
# it says what it waited for. A set time is only ever a span of observation: whether the screen changes over it
# (screen_changes), or that something which must not happen does not within it.
overall_end=$((SECONDS + ${TAVRINE_TEST_LIMIT:-300} * 9 / 10))

# The seconds left of the overall limit, at least 1.
patience() {
  local left=$((overall_end - SECONDS))
  echo $((left > 0 ? left : 1))
}

# within_limit COMMAND...: runs COMMAND every tenth of a second until it succeeds; false once the overall
# limit has passed. A condition is asked afresh at each try.
within_limit() {
  until "$@"; do
    [ "$SECONDS" -lt "$overall_end" ] || return 1
    sleep 0.1
  done
}


# How long what an input does may take once the reader told that the input reached it, in seconds: far more than
# a loaded machine needs to open a sample or show a menu, and far less than the overall limit, so that a program
# that took the input and did nothing fails soon, saying what was on the screen.
effect_seconds=30

# wait_for_effect WHAT COMMAND...: waits for COMMAND (asked afresh each tenth of a second), what an input that
# reached the reader does; fails with WHAT once effect_seconds, or the overall limit, have passed.
wait_for_effect() {
  local what=$1
  shift
  within_seconds "$effect_seconds" "$@" || fail "$what"
}

# wait_for WHAT COMMAND...: within_limit, failing with WHAT: for a state whose time a loaded machine and the
# sanitizers stretch further than an input's effect (a menu's first showing, a quit that writes the store).
wait_for() {
  local what=$1
  shift
  within_limit "$@" || fail "$what"
}

# wait_for_start WHAT COMMAND...: wait_for, for a program or a page just started showing itself, which a
# browser's first start on two busy cores stretches to tens of seconds.
wait_for_start() {
  wait_for "$@"
}

# within_seconds SECONDS COMMAND...: whether COMMAND comes to hold within SECONDS (and the overall limit).
within_seconds() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] && [ "$SECONDS" -lt "$overall_end" ] || return 1
    sleep 0.1
  done
}

# How long the first try of an input waits for its window's word that the input reached it, in tenths of a second;
# each try after it waits twice as long as the one before, up to input_tries in all. Each is longer than a
# desktop's double-click time (400 to 500 ms), so that a click made again at the place of a lost one never counts
# as its next click; a window tells within a second on two busy cores.
input_try_tenths=20
input_tries=5

# made_again WHAT ARRIVED... -- INPUT...: makes INPUT (a command: xdotool's click or key, or a window's
# activation) and waits for ARRIVED (a command asked afresh each tenth of a second: the window's word that the
# input reached it). An input lost on its way (made before the window took input, or while a bar slid in above a
# page and moved it down) is made again when a try has passed without the word; a word that comes late still
# counts. Fails with WHAT once every try has passed, or the overall limit. Only for inputs whose word tells that
# they arrived, never whether they did what is tested: an input that reaches a window and does the wrong thing,
# or nothing, is not made again (click_reaching is the word for a click on the reader). Leaves in made_tries how
# many times INPUT was made.
made_again() {
  local what=$1 try waited tenths=$input_try_tenths
  local -a arrived=()
  shift
  while [ "$#" -gt 0 ] && [ "$1" != -- ]; do
    arrived+=("$1")
    shift
  done
  shift
  for ((try = 1; try <= input_tries; try++)); do
    "$@" || fail "$what: the input could not be made"
    made_tries=$try
    for ((waited = 0; waited < tenths; waited++)); do
      "${arrived[@]}" && return 0
      [ "$SECONDS" -lt "$overall_end" ] || fail "$what (after $try tries)"
      sleep 0.1
    done
    [ "$try" -eq "$input_tries" ] || echo "$script_name: no word after $((tenths / 10)).$((tenths % 10)) s, made again: $what" >&2
    tenths=$((tenths * 2))
  done
  "${arrived[@]}" || fail "$what (after $input_tries tries)"
}

# The marks the reader appends to the file TAVRINE_TRACE_FILE names (App/ReaderTrace.h lists them): a
# file of the script's own unless the script names one first.
if [ -z "${TAVRINE_TRACE_FILE:-}" ]; then
  TAVRINE_TRACE_FILE=$(mktemp "${XDG_RUNTIME_DIR:-${TMPDIR:-/tmp}}/tavrine-trace.XXXXXX")
fi
export TAVRINE_TRACE_FILE

# How many marks match the extended regular expression PATTERN.
trace_marks() {
  grep -cE -- "$1" "$TAVRINE_TRACE_FILE" 2>/dev/null || true
}

has_trace_marks() {
  [ "$(trace_marks "$1")" -ge "$2" ]
}

# Waits until COUNT marks (1 by default) match PATTERN.
wait_for_mark() {
  within_limit has_trace_marks "$1" "${2:-1}" ||
    fail "no trace mark $1 (${2:-1} wanted, $(trace_marks "$1") seen)"
}

# Prints the id of the first visible window whose title matches $1; false when there is none.
find_window() {
  local found
  found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
  [ -n "$found" ] && echo "$found"
}

# Waits for a visible window whose title matches PATTERN and prints the first one's id; fails naming
# TITLE (the pattern itself by default) if none appears.
wait_for_window() {
  local pattern=$1 title=${2:-$1}
  within_limit find_window "$pattern" || fail "no window titled $title appeared"
}

# Whether WINDOW is the active one.
is_active() {
  [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]
}

# The menus of process PID on the screen, one window id a line. Each menu is a window of its own that
# the window manager leaves alone (override-redirect), mapped while the menu shows; Qt types a menu bar's
# menus as menus but a button's as a normal window, so a menu is told by the redirect, from the other
# such windows, tool tips, by its type.
shown_menus() {
  local id
  for id in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
    xwininfo -id "$id" 2>/dev/null | grep -q 'Override Redirect State: yes' || continue
    xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q '_NET_WM_WINDOW_TYPE_TOOLTIP' && continue
    echo "$id"
  done
  return 0
}
has_menu() { [ -n "$(shown_menus "$1")" ]; }
has_no_menu() { [ -z "$(shown_menus "$1")" ]; }

# Waits for a menu of process PID to be shown, before keys are sent to it; fails naming WHAT.
wait_for_menu() {
  wait_for "no menu appeared: $2" has_menu "$1"
}

# Whether the clipboard holds TEXT: xclip serves it once it owns the selection.
clipboard_holds() {
  [ "$(xclip -selection clipboard -o 2>/dev/null)" = "$1" ]
}

# Puts TEXT on the clipboard (xclip, which serves it in the background) and waits until it is served.
copy_text() {
  printf '%s' "$1" | xclip -selection clipboard -i
  wait_for "the clipboard did not take the text" clipboard_holds "$1"
}

# Whether WINDOW has the keyboard: the active one, or the input focus where activation is refused.
has_keys() {
  is_active "$1" || [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]
}

# Gives the window the keyboard: activated through the window manager, or focused where that is refused; made
# again until it has it, as a window can ignore an activation that comes while it is mapped.
activate_window() {
  made_again "the window $1 did not take the keys" has_keys "$1" -- activate_once "$1"
}
activate_once() {
  timeout 20 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || timeout 20 xdotool windowfocus --sync "$1" || true
}

# Runs COMMAND... in the background as the reader and waits for its window titled "Tavrine", painted and
# the reader idle after it (its mark "idle"); sets pid and window. The window is not activated: callers
# differ in what they do first.
# shellcheck disable=SC2034 # pid and window are for the sourcing script
launch_reader() {
  local idle
  idle=$(trace_marks '^idle ')
  "$@" &
  pid=$!
  window=$(wait_for_window '^Tavrine$' Tavrine)
  wait_for_start "the reader never became idle" has_trace_marks '^idle ' $((idle + 1))
}

# press_since COUNT PATTERN: whether a press mark after the first COUNT tells a press that reached the reader
# under a widget whose name matches the extended regular expression PATTERN.
press_since() {
  grep '^press ' "$TAVRINE_TRACE_FILE" 2>/dev/null | tail -n +$(($1 + 1)) |
    awk '{ $1 = ""; $2 = ""; $3 = ""; $NF = ""; sub(/^ +/, ""); sub(/ $/, ""); print }' | grep -qE -- "$2"
}

# click_reaching WHAT PATTERN -- INPUT...: makes INPUT, a click on the widget of the reader whose name (as its
# press mark tells it) matches PATTERN, and waits for the reader's word that the press reached that widget. The
# caller has waited until the window takes input (launched, painted and idle, with the keys). The click is made
# again only while no press reached the widget: lost on its way, or taken by what stood under the pointer before
# the widget showed there (a row's "…" shows once the row has the hover). Never because what the click does is
# missing: the caller waits for that once, so that a program that took the click and did nothing fails.
click_reaching() {
  local what=$1 pattern=$2 presses_before
  shift 3
  presses_before=$(trace_marks '^press ')
  press_reached() { press_since "$presses_before" "$pattern"; }
  made_again "$what: no press reached ${pattern}" press_reached -- "$@"
}

# How many marks tell that the key NAME reached the reader, as Qt names it with the modifiers held: "Space",
# "Ctrl+Return", "Meta+Ctrl+S", "Shift+Backtab" (Shift+Tab), "Esc", "Alt" (pressed alone). With KIND hotkey, how
# many tell that the hot key NAME ("Meta+Ctrl+Alt+V") reached it.
key_marks() {
  awk -v want="${2:-key} $1" '{ line = $0; sub(/ [0-9]+$/, "", line) } line == want { count++ } END { print count + 0 }' \
    "$TAVRINE_TRACE_FILE" 2>/dev/null || echo 0
}

# The name of KEY as xdotool names it (super+ctrl+s, shift+Tab, space) in the reader's key marks (Meta+Ctrl+S,
# Shift+Backtab, Space): the modifiers in Qt's order, a letter in upper case.
qt_key_name() {
  local -a parts
  local key modifiers="" part
  IFS=+ read -ra parts <<<"$1"
  key=${parts[-1]}
  for part in super ctrl alt shift; do
    [[ "+$1" == *"+$part+"* ]] || continue
    case $part in super) modifiers+=Meta+ ;; ctrl) modifiers+=Ctrl+ ;; alt) modifiers+=Alt+ ;; shift) modifiers+=Shift+ ;; esac
  done
  case $key in
    [a-z]) key=${key^} ;;
    alt) key=Alt modifiers="" ;;
    ctrl) key=Control modifiers="" ;;
    shift) key=Shift modifiers="" ;;
    super) key=Meta modifiers="" ;;
    space) key=Space ;;
    Escape) key=Esc ;;
    # Typed with Shift on a US layout: Qt tells the Shift.
    plus) key=+ modifiers+=Shift+ ;;
    minus) key=- ;;
    comma) key=, ;;
    Tab) [[ "$modifiers" == *Shift+ ]] && key=Backtab ;;
  esac
  echo "$modifiers$key"
}

# key_reaching KEY [NAME]: presses KEY (as xdotool names it, with its modifiers: ctrl+Return) until the reader's
# mark "key NAME" (qt_key_name of KEY unless given) tells that the press reached a window of it, shortcut keys
# included. The press is made again
# only while no such mark came (lost on its way, as while a closing panel hands the focus back); what the key
# does is the caller's to wait for, once (key_doing), so that a key the reader took and ignored fails. A modifier
# alone (alt) is held until the mark and let go then, as a person's stroke is: a release sent at once could be
# handled before the press (Alt alone then enters the menu bar and leaves it again). Any other key is let go at
# once: held past the desktop's repeat delay (660 ms) it would repeat, and a reader slow on a loaded machine
# would take it twice.
key_reaching() {
  local key=$1 name=${2:-$(qt_key_name "$1")} keys_before
  keys_before=$(key_marks "$name")
  key_reached() { [ "$(key_marks "$name")" -gt "$keys_before" ]; }
  case $key in
    alt | ctrl | shift | super)
      made_again "the key $key did not reach the reader" key_reached -- xdotool keydown "$key"
      xdotool keyup "$key" ;;
    *) made_again "the key $key did not reach the reader" key_reached -- xdotool key "$key" ;;
  esac
}

# hotkey_reaching KEY: presses the hot key KEY (ctrl+super+alt+v) with no other modifier held until the reader's
# mark "hotkey NAME" (qt_key_name of KEY: Meta+Ctrl+Alt+V) tells that it took the chord. The desktop hands a grabbed
# chord to no window, so no key mark comes; the press is made again only while no hotkey mark came (lost on its
# way, or pressed before the reader grabbed the chord). What the hot key does is the caller's to wait for, once
# (wait_for_effect), so that a hot key the reader took and ignored fails. With another program's window in front,
# it is pressed once the reader has told that it is no longer the active application (its last "application"
# mark): a loaded machine can tell the reader late that it was left, and that word ends a capture under way.
hotkey_reaching() {
  local key=$1 name marks_before
  another_program_in_front() {
    local front
    front=$(xdotool getactivewindow getwindowpid 2>/dev/null) && [ -n "$front" ] && [ "$front" != "${pid:-}" ]
  }
  reader_left() { ! another_program_in_front || [ "$(last_mark application)" != active ]; }
  wait_for_effect "the reader never told that another program's window is in front" reader_left
  name=$(qt_key_name "$1")
  marks_before=$(key_marks "$name" hotkey)
  hotkey_reached() { [ "$(key_marks "$name" hotkey)" -gt "$marks_before" ]; }
  made_again "the hot key $key did not reach the reader" hotkey_reached -- xdotool key --clearmodifiers "$key"
}

# key_doing KEY WHAT COMMAND...: presses KEY until it reaches the reader (key_reaching), then waits for COMMAND,
# what it does (wait_for_effect), failing with WHAT.
key_doing() {
  local key=$1 what=$2
  shift 2
  key_reaching "$key"
  wait_for_effect "$what" "$@"
}

# Whether the reader's file panel (開く) is the window in front.
file_panel_in_front() { [ "$(xdotool getactivewindow getwindowname 2>/dev/null)" = 開く ]; }

# choose_in_file_panel FILE: types the path FILE into the file panel in front and presses Return once; the Return
# is made again only while the reader has not told its arrival. What the panel does with it is the caller's to
# check: a panel that kept the path fails the test.
choose_in_file_panel() {
  xdotool type --delay 20 "$1"
  key_reaching Return
}

# Clicks the start view's sample button at X Y once its window takes input, and waits until the sample it opens
# gives the display the keys.
open_sample_at() {
  local x=$1 y=$2
  display_marked() { has_trace_marks ' readerRSVPDisplay ' 1; }
  click_reaching "a click on the sample button" '^readerOpenSample$' -- xdotool mousemove "$x" "$y" click 1
  wait_for_effect "a click on the sample button opened no sample" display_marked
}

# Whether process PID has ended.
has_ended() {
  ! kill -0 "$1" 2>/dev/null
}

# Waits for the reader PID to end after a quit that reached it, killing it and failing if it has not within
# effect_seconds; fails unless it ended with status 0.
wait_for_quit() {
  local quitting=$1 status=0
  within_seconds "$effect_seconds" has_ended "$quitting" || { kill -KILL "$quitting"; fail "tavrine did not quit"; }
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

# Whether the screen, or the rectangle X Y WIDTH HEIGHT of it, stays the same for SECONDS.
screen_is_still() {
  ! screen_changes "$@"
}

# ---- The focus and the session's status, as the reader's marks tell them ----
# What they wait for is said on failure with the script's own state (script_state), when it defines one.

# The last mark of a kind, without its kind and time: "focus" gives "X Y WIDTH HEIGHT NAME".
last_mark() {
  grep "^$1 " "$TAVRINE_TRACE_FILE" | tail -1 | awk '{ $1 = ""; $NF = ""; sub(/^ /, ""); sub(/ $/, ""); print }' || true
}
marks() {
  grep -c "^$1 " "$TAVRINE_TRACE_FILE" || true
}
focused() {
  last_mark focus | awk '{ print $5 }'
}
status() {
  last_mark status
}
focus_is() { [ "$(focused)" = "$1" ]; }
status_is() { [ "$(status)" = "$1" ]; }
more_focus_marks_than() { [ "$(marks focus)" -gt "$1" ]; }

# Confirms the open alert with its destructive button, the one after the default キャンセル, and waits
# until the removal is over: keys sent while it runs could reach a row menu it then closes. The keys go
# once the alert holds them (keys the reader window gets while the alert blocks it are lost).
confirm_alert() {
  local alert count
  count=$(last_mark history)
  alert=$(wait_for_window 'ますか' 'the removal alert')
  activate_window "$alert"
  wait_for "the removal alert did not take the keys" is_active "$alert"
  key_reaching Tab
  history_shrank() { [ "$(last_mark history)" -lt "${count:-0}" ]; }
  key_doing space "the confirmed removal did not end with a shorter history" history_shrank
}

# Presses KEY (Tab, shift+Tab) and waits for the focus to move; prints the new focus mark.
tab() {
  local before
  before=$(marks focus)
  key_doing "$1" "$1 moved no focus" more_focus_marks_than "$before"
  last_mark focus
}

# Tabs (or Shift+Tabs with KEY) until the control NAME has the focus; fails naming the controls passed.
tab_to() {
  local name=$1 key=${2:-Tab} walked=""
  for _ in $(seq 1 30); do
    [ "$(focused)" = "$name" ] && return 0
    walked+=" $(tab "$key" | awk '{ print $5 }')"
  done
  focus_is "$name" || fail "$key never reached $name:$walked"
}

# Space plays what is paused (or not yet started) and pauses what plays.
toggle_with_space() {
  local expected=playing
  [ "$(status)" = playing ] && expected=paused
  key_doing space "Space did not make the reading $expected ($1)" status_is "$expected"
}

# Space plays and pauses again (or pauses and plays again); WHAT names the step.
space_plays() {
  toggle_with_space "$1"
  toggle_with_space "$1, again"
}

# Sentences that make a reading last minutes at the slowest speed (1,600 characters, a few hundred phrases of
# 0.3 s): what a step after an import or a paste presses on it (Space twice, Ctrl+Return) finds it still playing,
# however slowly a loaded machine brings the steps between. A reading of a sentence or two reaches its end
# meanwhile, and takes the next key as a new start.
reading_tail=$(printf '吾輩は猫である。名前はまだ無い。%.0s' $(seq 100))
# TEXT (its first sentence names the reading in the list), then the tail.
long_reading() {
  printf '%s%s' "$1" "$reading_tail"
}

# Pastes TEXT, made a long reading, with Ctrl+Shift+V and plays it a moment, so that the history holds it; the
# display has the keys after it.
paste_and_play() {
  local before
  copy_text "$(long_reading "$1")"
  # Told by the first phrase of its reading shown: a paste over a reading that is ready leaves the status as it was.
  before=$(trace_marks '^phrase-shown ')
  shown_since() { [ "$(trace_marks '^phrase-shown ')" -gt "$before" ]; }
  key_doing ctrl+shift+v "the paste of $1 was not opened" shown_since
  wait_for_effect "the paste did not focus the display" focus_is readerRSVPDisplay
  space_plays "the paste"
}

# Makes the reader WINDOW 1,200 pixels wide and waits until its controls stand there: Tab until the focus
# mark tells a control at least 1,000 pixels wide (the display).
widen_reader() {
  xdotool windowsize --sync "$1" 1200 800
  focus_reaches_wide() {
    tab Tab >/dev/null
    [ "$(last_mark focus | awk '{ print $3 }')" -ge 1000 ]
  }
  wait_for "the reader did not grow to 1,200 pixels" focus_reaches_wide
}

# Whether the reader has come to stand narrow after `xdotool windowsize` to 620 pixels (where the document
# list is a popup): Tab moves the focus, and the display has it at most 580 pixels wide. For wait_for.
display_is_narrow() {
  tab Tab >/dev/null
  focus_is readerRSVPDisplay && [ "$(last_mark focus | awk '{ print $3 }')" -le 580 ]
}

# Whether the reader ($pid) shows at least COUNT menus: the narrow window's list popup counts as one.
menus_at_least() { [ "$(shown_menus "$pid" | wc -l)" -ge "$1" ]; }

# Shows the narrow window's list popup, a menu-like window of its own, and sets px, py and pw to its place and
# width.
# shellcheck disable=SC2034 # px, py and pw are for the sourcing script
popup_list() {
  local info
  key_doing super+ctrl+s "no menu appeared: the list's popup" has_menu "$pid"
  info=$(xwininfo -id "$(shown_menus "$pid" | head -1)")
  px=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
  py=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
  pw=$(awk '/Width:/ {print $2}' <<<"$info")
}

# Starts the session's accessibility bus and switches it on, waiting until it answers; its launcher's process
# id is left in launcher_pid, for the script's cleanup to end it.
accessibility_on() {
  gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null 2>&1
}
start_accessibility_bus() {
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  launcher_pid=$!
  wait_for_start "the accessibility bus did not start" accessibility_on
}

# How many applications have shown themselves on the accessibility bus, as its registry counts them (the registry
# started by the question, when it is not yet); nothing while the bus or the registry does not answer.
accessibility_applications() {
  local address
  address=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus --method org.a11y.Bus.GetAddress \
    2>/dev/null | sed -n "s/^('\(.*\)',)$/\1/p")
  [ -n "$address" ] || return 0
  gdbus call --address "$address" --dest org.a11y.atspi.Registry --object-path /org/a11y/atspi/accessible/root \
    --method org.freedesktop.DBus.Properties.Get org.a11y.atspi.Accessible ChildCount 2>/dev/null |
    sed -n 's/^(<\([0-9]*\)>,)$/\1/p'
}

# A browser's capture page tells in its title, word by word: "Capture page OFFSET CLICKS SELECTED FOCUS"
# (how far below the top of the browser's window the page begins, how many clicks it has had, how many
# characters are selected and what has the focus). These read it from the window in $browser.
page_says() { xdotool getwindowname "$browser" | awk -v word="$1" '{print $word}'; }
page_clicks_reach() { [ "$(page_says 4)" -ge "$1" ]; }
page_selects() { [ "$(page_says 5)" = "$1" ]; }
# The outcome of the program's last capture, as its trace tells.
last_capture() { grep '^capture ' "$TAVRINE_TRACE_FILE" 2>/dev/null | tail -1 | cut -d' ' -f2 || true; }

# How long click_page gives a condition to hold after the page counted the clicks, in seconds.
page_settle_seconds=3

# Clicks COUNT times in a row (one double or triple click) at X Y of the capture page, wherever the page begins
# now, until the page says that CONDITION... holds. Clicks the page does not count in time were lost on their
# way (made before the window took input, or while a bar the browser shows above the page after loading it, as
# chromium's warning about --no-sandbox when run as root, moved the page down): they are made again (made_again)
# where the page tells it begins then. Clicks counted without CONDITION holding within page_settle_seconds are
# made again as well, five times at most; then the script fails with what the page says.
click_page() {
  local x=$1 y=$2 count=$3 clicks
  shift 3
  clicks_counted() { page_clicks_reach $((clicks + count)); }
  for _ in 1 2 3 4 5; do
    clicks=$(page_says 4)
    made_again "the page did not count $count clicks at $x $y" clicks_counted -- click_at_page "$x" "$y" "$count"
    within_seconds "$page_settle_seconds" "$@" && return 0
  done
  fail "$count clicks at $x $y did not make $1 hold: the page says $(xdotool getwindowname "$browser")"
}

# Clicks COUNT times in a row at X Y of the capture page, below where the page says it begins.
click_at_page() {
  local offset
  offset=$(page_says 3)
  xdotool mousemove --window "$browser" "$1" $(($2 + offset)) click --repeat "$3" --delay 80 1
}


# ---- Browsers and the pages they show, for the scripts that capture from them ----

# Ends the browser whose process id is in browser_pid, if any, and waits for it, so that nothing writes in its
# profile any more.
end_browser() {
  [ -n "${browser_pid:-}" ] || return 0
  kill "$browser_pid" 2>/dev/null || true
  wait "$browser_pid" 2>/dev/null || true
  browser_pid=""
}

# A work folder (work) for a script that drives a browser: when the script exits, the page server (server_pid),
# the browser, the reader (pid) and its launcher (launcher_pid) are ended and the folder goes.
make_browser_work() {
  work=$(mktemp -d)
  launcher_pid=""
  browser_pid=""
  server_pid=""
  trap end_browser_work EXIT
}
end_browser_work() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  end_browser
  if [ -n "${pid:-}" ]; then kill "$pid" 2>/dev/null || true; fi
  if [ -n "$launcher_pid" ]; then kill "$launcher_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}

# allow_for_presses N: a script that presses a hot key N times in each of its cases takes longer than one X11
# script's usual limit. CTest gives it more (its TAVRINE_TEST_LIMIT); run by hand, it has as long as N needs.
allow_for_presses() {
  [ -n "${TAVRINE_TEST_LIMIT:-}" ] || overall_end=$((SECONDS + 300 + $1 * 20))
}

# browser_key KEY WHAT CONDITION...: presses KEY in the browser in front until CONDITION, what the page says of it,
# holds (the browser is not what is tested: its answer is the word that the key arrived), failing with WHAT. Only
# for a key that does the same however often it comes (ctrl+a): one that opens something is pressed once.
browser_key() {
  local key=$1 what=$2
  shift 2
  made_again "$what" "$@" -- xdotool key --clearmodifiers "$key"
}

# open_address ADDRESS WHAT CONDITION...: the browser ($browser) shows ADDRESS in place of its page, typed into its
# address bar, once CONDITION holds; typed again when effect_seconds pass without it (a key lost while the bar
# took the focus), failing with WHAT after three tries.
open_address() {
  local address=$1 what=$2
  shift 2
  for _ in 1 2 3; do
    activate_window "$browser"
    xdotool key --clearmodifiers ctrl+l
    sleep 0.5
    xdotool type --delay 20 "$address"
    xdotool key Return
    within_seconds "$effect_seconds" "$@" && return 0
  done
  fail "$what did not load"
}

# start_firefox PROFILE ADDRESS LOG: starts Firefox ESR on the capture page at ADDRESS with the profile folder
# PROFILE, its output in LOG-N.log for its Nth start, and waits for the page's window (in $browser, the browser's
# process id in browser_pid). Firefox shows itself on the accessibility bus once, as it starts, and never again when
# the bus or its registry answered later than it waits (it says so in its log: "Couldn't register with accessibility
# bus", "Couldn't connect to accessibility bus"), as on a loaded machine: such a browser, which would make every
# capture browserUnsupported, is started again, three times at most.
start_firefox() {
  local profile=$1 address=$2 log=$3 start before
  before=$(accessibility_applications)
  wait_for_start "the accessibility registry did not answer" test -n "$before"
  firefox_registered() { [ "$(accessibility_applications)" -gt "$before" ]; }
  firefox_refused() { grep -qE "Couldn't (register with|connect to) accessibility bus" "$log-$start.log" 2>/dev/null; }
  firefox_told() { firefox_registered || firefox_refused; }
  has_no_browser_window() { ! find_window '^Capture page [0-9]' >/dev/null; }
  for start in 1 2 3 4; do
    GNOME_ACCESSIBILITY=1 firefox-esr --no-remote --new-instance --profile "$profile" "$address" >"$log-$start.log" 2>&1 &
    browser_pid=$!
    browser=$(wait_for_window '^Capture page [0-9]' "the capture page (Firefox)")
    within_seconds "$effect_seconds" firefox_told && firefox_registered && return 0
    [ "$start" -lt 4 ] || fail "Firefox did not show itself on the accessibility bus, started four times"
    echo "$script_name: Firefox did not show itself on the accessibility bus: started again" >&2
    end_browser
    wait_for "the unregistered Firefox's window did not go" has_no_browser_window
  done
}

# The script of a capture page whose title tells how far below the top of the browser's window the page begins,
# how many clicks it has had, how many characters are selected in it and what it is: "Capture page OFFSET CLICKS
# SELECTED page WORDS", WORDS a JavaScript expression.
titled() {
  cat <<EOF
<script>
let clicks = 0;
function tell() {
  document.title = "Capture page " + (outerHeight - innerHeight) + " " + clicks + " " + String(getSelection()).length + " page " + $1;
}
addEventListener("load", tell);
addEventListener("resize", tell);
addEventListener("click", () => { clicks++; tell(); });
document.addEventListener("selectionchange", tell);
addEventListener("keyup", tell);
</script>
EOF
}

# Writes into FILE the page of ITEMS <b> items of two characters each, drawn touching in a wrapping flex row, 22 to a
# row; its title "... page items ROWS", how many rows it draws its items in.
write_items_page() {
  local file=$1 items=$2 item
  local -a digits=(〇 一 二 三 四 五 六 七 八 九)
  {
    cat <<EOF
<!DOCTYPE html><html><head><meta charset="utf-8"><title>Capture page</title><script>
function rows() {
  let count = 0, top = null;
  for (const item of document.querySelectorAll("#row b")) {
    const at = item.getBoundingClientRect().top;
    if (at !== top) count++;
    top = at;
  }
  return count;
}
</script>$(titled '"items " + rows()')</head><body style="margin:8px;font-size:16px">
<div id="row" style="display:flex;flex-wrap:wrap;width:704px;font-weight:normal">
EOF
    for ((item = 0; item < items; item++)); do printf '<b>語%s</b>' "${digits[item % 10]}"; done
    printf '</div>\n</body></html>\n'
  } >"$file"
}

# Writes into the folder DIR a fresh Firefox profile that shows its pages on the accessibility bus and fetches
# nothing at its start: no first-run pages, no updates, no telemetry.
write_firefox_profile() {
  mkdir -p "$1"
  cat >"$1/user.js" <<'EOF'
user_pref("accessibility.force_disabled", -1);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.auto", false);
user_pref("browser.safebrowsing.downloads.remote.enabled", false);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("extensions.autoDisableScopes", 15);
user_pref("browser.tabs.warnOnClose", false);
user_pref("sidebar.revamp", false);
EOF
}

# Serves the folder DIR over http on the loopback interface, as a web page is, in the background (its process id
# in server_pid, for the script's cleanup to end it), and waits until the port it listens on is in the file
# PORT-FILE; `address FILE` is then the address of FILE there.
serve_folder() {
  served_port_file=$2
  python3 -c 'import http.server, socketserver, sys
server = socketserver.TCPServer(("127.0.0.1", 0), lambda *a: http.server.SimpleHTTPRequestHandler(*a, directory=sys.argv[1]))
print(server.server_address[1], flush=True)
server.serve_forever()' "$1" >"$2" 2>/dev/null &
  # shellcheck disable=SC2034 # for the sourcing script's cleanup
  server_pid=$!
  wait_for_start "the page server did not start" test -s "$2"
}
address() { echo "http://127.0.0.1:$(cat "$served_port_file")/$1"; }

# readings_of STORE WORDS: the readings in the reading store file STORE that hold WORDS, in the order stored, one a
# line, each as its lines parted by "|"; none while the store is not written.
readings_of() {
  python3 -c 'import json, sys
def texts(value):
    if isinstance(value, str):
        if sys.argv[2] in value: yield value
    elif isinstance(value, dict):
        for item in value.values(): yield from texts(item)
    elif isinstance(value, list):
        for item in value: yield from texts(item)
try:
    found = list(texts(json.load(open(sys.argv[1], encoding="utf-8"))))
except (OSError, ValueError):
    found = []
for text in found: print("|".join(line for line in text.split("\n") if line.strip()))' "$1" "$2"
}

# tally NAME OUTCOME...: "NAME: OUTCOME×COUNT ..." in the order first seen.
tally() {
  local name=$1
  shift
  printf '%s:' "$name"
  printf '%s\n' "$@" | awk '{ if (!($0 in n)) order[++k] = $0; n[$0]++ } END { for (i = 1; i <= k; i++) printf " %s×%d", order[i], n[order[i]] }'
  echo
}
