#!/usr/bin/env bash
# reader-bus-capture-x11.sh TAVRINE X11-SCREENSHOT ARTIFACTS [PRESSES]
#
# The real program capturing over the accessibility bus alone from Debian's chromium (its renderer's
# accessibility forced, no remote debugging: its page cannot be asked) and Firefox ESR, as its user would, on an
# X display with openbox (run under scripts/with-xvfb --openbox, which gives it fresh data and configuration
# folders and a session bus of its own), with the session's accessibility on and the pages served on the
# loopback interface. With the capture hot key (Meta+Ctrl+Alt+R):
# - in each browser, PRESSES times (20 by default), a page of 20 paragraphs, each followed by a box whose two
#   small paragraphs the page takes away and puts back every 5 to 50 ms, all of it selected with Ctrl+A: each
#   capture is stored as one state of the page, every paragraph with its boxes all full or all empty, or ends
#   with the changed-page notice (sourceChanged), in Firefox also as one with nothing selected, which Firefox shows
#   for a while after such a change; never a paragraph missing or read twice;
# - chromium's own New Tab page, nothing selectable on it and no article: the nothing-to-read notice, not the
#   changed-page one;
# - Firefox freshly started with a page of 2,200 items drawn touching in a wrapping flex row, all of it selected
#   with Ctrl+A: the first capture is read into the rows the page draws, as the second is (a capture that runs
#   out of its time, as one of 2,200 items may on two busy cores, stores nothing to judge).
# Prints each case's outcomes ("OUTCOME×COUNT"). Where it gives up, the reader's marks and its store are kept in
# ARTIFACTS beside the screenshot. Skipped (77) without chromium or firefox-esr.
set -euo pipefail
tavrine=$1
screenshot=$2
artifacts=$3
presses=${4:-20}
mkdir -p "$artifacts"
export XCTestConfigurationFilePath=/dev/null
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
for browser_program in chromium firefox-esr; do
  command -v "$browser_program" >/dev/null || { echo "$script_name: $browser_program is not installed" >&2; exit 77; }
done
allow_for_presses "$presses"

make_browser_work

store="$XDG_DATA_HOME/org.tavrine.Tavrine/reading-store.json"
export TAVRINE_TRACE_FILE="$work/trace"

# The session's accessibility bus, on before any application starts (they show themselves on it only then).
start_accessibility_bus

# The changing page, its title "... page changing": 20 paragraphs, each followed by a box of two small
# paragraphs, and a closing paragraph; every box is emptied, and filled again, at once, 5 to 50 ms apart, and
# the page selects all of it again each time once something is selected in it.
paragraph_words() { printf '第%d段落です。吾輩は猫である。名前はまだ無い。' "$1"; }
box_words() { printf '%d番の箱の%s段落。' "$1" "$2"; }
{
  printf '<!DOCTYPE html><html><head><meta charset="utf-8"><title>Capture page</title>%s</head>\n' "$(titled '"changing"')"
  printf '<body style="margin:0;padding:0 20px;font-size:14px">\n'
  for ((n = 1; n <= 20; n++)); do
    printf '<p>%s</p><div class="box"><p>%s</p><p>%s</p></div>\n' "$(paragraph_words $n)" "$(box_words $n 上)" "$(box_words $n 下)"
  done
  cat <<'EOF'
<p>結びの段落です。</p>
<script>
const boxes = Array.from(document.querySelectorAll(".box"));
const filled = boxes.map((box) => box.innerHTML);
let changes = 0;
function change() {
  const full = changes++ % 2 === 1;
  boxes.forEach((box, index) => { box.innerHTML = full ? filled[index] : ""; });
  if (String(getSelection()).length > 0) getSelection().selectAllChildren(document.body);
  setTimeout(change, 5 + ((changes * 17) % 46));
}
change();
</script></body></html>
EOF
} >"$work/changing.html"
# The lines of the page with its boxes full, and empty.
full_lines=""
empty_lines=""
for ((n = 1; n <= 20; n++)); do
  full_lines+="$(paragraph_words $n)|$(box_words $n 上)|$(box_words $n 下)|"
  empty_lines+="$(paragraph_words $n)|"
done
full_lines+="結びの段落です。"
empty_lines+="結びの段落です。"

# The page Firefox starts with: 2,200 items drawn touching in a wrapping flex row, 22 to a row.
items=2200
write_items_page "$work/items.html" "$items"

serve_folder "$work" "$work/port"

launch_reader "$tavrine"
reader=$window

# Presses the capture hot key with the browser in front, waits for what it did and prints the outcome. The key is
# pressed again while the reader's word that it took it does not come (hotkey_reaching); such a press, once it
# reaches the reader, starts a capture of its own, which ends the one before as cancelled: the outcome is the last
# capture's, once there is one for each press that reached the reader, the presses made again given the time a
# press takes to be told to come.
hotkey_marks() { key_marks Meta+Ctrl+Alt+R hotkey; }
capture() {
  local captures keys
  captures=$(trace_marks '^capture ')
  keys=$(hotkey_marks)
  activate_window "$browser"
  wait_for "the browser is not in front ($1)" is_active "$browser"
  xdotool mousemove 1279 1023
  hotkey_reaching ctrl+super+alt+r
  each_press_ended() { [ "$(trace_marks '^capture ')" -ge $((captures + $(hotkey_marks) - keys)) ]; }
  wait_for "no capture ended ($1)" each_press_ended
  if [ "$made_tries" -gt 1 ]; then
    sleep $((input_try_tenths / 10))
    wait_for "no capture ended ($1)" each_press_ended
  fi
  last_capture
}

# The readings stored that hold WORDS, and how many there are.
stored_readings() { readings_of "$store" "$1"; }
readings_count() { stored_readings "$1" | grep -c . || true; }
more_readings_than() { [ "$(readings_count "$1")" -gt "$2" ]; }

changing_shown() { [ "$(page_says 7)" = changing ]; }
changing_selected() { [ "$(page_says 5)" -ge 300 ]; }
changing_outcomes=()
item_outcomes=()
new_tab_outcome=""
# What the captures gave so far, said when the script gives up.
script_state() {
  echo "changing page: ${changing_outcomes[*]:-none}; page of items: ${item_outcomes[*]:-none}; New Tab page: ${new_tab_outcome:-none}"
}
# press_changing BROWSER: the changing page, all of it selected with Ctrl+A, captured PRESSES times, each reading
# stored before the next capture; the outcomes are added to changing_outcomes as "BROWSER OUTCOME".
press_changing() {
  local round stored outcome
  click_page 900 600 1 changing_shown
  browser_key ctrl+a "Ctrl+A did not select the changing page ($1)" changing_selected
  for ((round = 1; round <= presses; round++)); do
    stored=$(readings_count 段落)
    outcome=$(capture "changing page, $1, press $round")
    changing_outcomes+=("$1 $outcome")
    [ "$outcome" != succeeded ] ||
      wait_for "the changing page's reading was not stored ($1, press $round)" more_readings_than 段落 "$stored"
  done
}

# ---- chromium, its renderer's accessibility forced, no remote debugging ----
chromium_arguments=(--no-first-run --no-default-browser-check --disable-gpu --disable-background-networking
  --disable-component-update --disable-sync --disable-crash-reporter --force-renderer-accessibility
  "--user-data-dir=$work/chromium")
[ "$(id -u)" = 0 ] && chromium_arguments+=(--no-sandbox)
# The applications on the bus without a browser, for Firefox's start to be told by (start_firefox).
applications_alone=$(accessibility_applications)
wait_for_start "the accessibility registry did not answer" test -n "$applications_alone"
chromium "${chromium_arguments[@]}" "$(address changing.html)" >/dev/null 2>&1 &
browser_pid=$!
browser=$(wait_for_window '^Capture page [0-9]' "the changing page (chromium)")
activate_window "$browser"
wait_for_start "the changing page did not load (chromium)" changing_shown
press_changing chromium

# Its own New Tab page, in front of the changing page: nothing on it is selected, and it has no article.
activate_window "$browser"
new_tab_shown() { xdotool getwindowname "$browser" | grep -q '^New Tab'; }
# Pressed once: a Ctrl+T made again while a loaded machine's chromium is slow to show the first would open a second
# tab, still loading when the hot key reads it.
xdotool key ctrl+t
wait_for "chromium did not show its New Tab page" new_tab_shown
new_tab_outcome=$(capture "New Tab page")
end_browser
chromium_left() { [ "$(accessibility_applications)" -le "$applications_alone" ]; }
wait_for_start "chromium did not leave the accessibility bus" chromium_left

# ---- Firefox ESR, started afresh with the page of items ----
write_firefox_profile "$work/firefox"
start_firefox "$work/firefox" "$(address items.html)" "$work/firefox"
activate_window "$browser"
items_shown() { [ "$(page_says 7)" = items ]; }
items_selected() { [ "$(page_says 5)" -ge $((items * 2)) ]; }
wait_for_start "the page of items did not load" items_shown
click_page 900 600 1 items_shown
browser_key ctrl+a "Ctrl+A did not select the page of items" items_selected
item_rows=$(page_says 8)
for round in 1 2; do
  stored=$(readings_count 語〇)
  item_outcomes+=("$(capture "page of items, capture $round")")
  [ "${item_outcomes[-1]}" != succeeded ] ||
    wait_for "the page of items' reading was not stored (capture $round)" more_readings_than 語〇 "$stored"
done

# The changing page, in place of the page of items.
open_address "$(address changing.html)" "the changing page (Firefox)" changing_shown
press_changing Firefox
end_browser

activate_window "$reader"
key_reaching ctrl+q
wait_for_quit "$pid"
pid=""

tally "changing page" "${changing_outcomes[@]}"
echo "New Tab page: $new_tab_outcome"
tally "page of items" "${item_outcomes[@]}"
# Firefox shows no selection for a while after such a page changes: a capture that meets that while stores nothing
# and ends as one with nothing selected (browserUnsupported, as Firefox's page cannot be asked).
for outcome in "${changing_outcomes[@]}"; do
  case "$outcome" in
    *" succeeded" | *" sourceChanged" | "Firefox browserUnsupported") ;;
    *) fail "the changing page gave ${outcome#* } (${outcome%% *})" ;;
  esac
done
# Every reading stored is the page with its boxes all full or all empty.
changing_readings=$(stored_readings 段落)
echo "changing page: $(echo "$changing_readings" | grep -c -x -F "$full_lines" || true) readings stored full, \
$(echo "$changing_readings" | grep -c -x -F "$empty_lines" || true) empty"
while read -r reading; do
  [ -z "$reading" ] || [ "$reading" = "$full_lines" ] || [ "$reading" = "$empty_lines" ] ||
    fail "the changing page was stored as another page: $reading"
done <<<"$changing_readings"
[ "$new_tab_outcome" = noBodyCandidate ] || fail "chromium's New Tab page gave $new_tab_outcome"
# The first reading since the browser started and the second: each the rows the page draws, its items together. A
# capture that ran out of its time (2,200 items take Firefox near it on two busy cores) stores nothing to judge.
for outcome in "${item_outcomes[@]}"; do
  case "$outcome" in
    succeeded | timedOut) ;;
    *) fail "the page of items gave $outcome" ;;
  esac
done
item_lines=$(stored_readings 語〇)
echo "page of items: $(echo "$item_lines" | awk -F'|' '{ printf "%s%d lines", (NR > 1 ? ", " : ""), NF }'), $item_rows rows drawn"
while read -r reading; do
  [ -z "$reading" ] || [ "$(echo "$reading" | awk -F'|' '{ print NF }')" -eq "$item_rows" ] ||
    fail "the page of items was not read into its $item_rows rows: $(echo "$reading" | cut -c1-300)"
done <<<"$item_lines"
[ "$(echo "$item_lines" | sort -u | grep -c .)" -le 1 ] || fail "the page of items was read into other lines the first time"
echo "chromium and firefox-esr: the changing page stored whole or refused as changed, the New Tab page nothing to read, Firefox's captures of $items items in its $item_rows rows"
