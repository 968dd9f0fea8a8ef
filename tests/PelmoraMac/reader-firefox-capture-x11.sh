#!/usr/bin/env bash
# reader-firefox-capture-x11.sh TAVRINE X11-SCREENSHOT READING-STORE-HISTORY ARTIFACTS [PRESSES]
#
# The real program capturing from Debian's Firefox ESR as its user would, on an X display with openbox (run
# under scripts/with-xvfb --openbox, which gives it fresh data and configuration folders and a session bus
# of its own), with the session's accessibility on, a fresh profile that puts its pages on the bus and the
# page served on the loopback interface. Firefox is read over the bus alone: its page cannot be asked, and
# its primary selection, which holds the clear text of what its page masks, is never read. First, the page
# Firefox starts with, a wrapping flex row of 440 items drawn as 20 rows, selected with Ctrl+A and captured
# twice: the first capture since the browser started is read into the rows the page draws, as the second is
# (Firefox answers its first questions about the page's attributes and boxes with none). Then, with the
# capture hot key (Meta+Ctrl+Alt+R), PRESSES times each (10 by default):
# - an editing host the page masks (-webkit-text-security), all of it selected with Ctrl+A: protectedField;
# - a password field, all of it selected with Ctrl+A: protectedField;
# - a text field that the page names a password by its autocomplete alone, shown in clear, selected with
#   Ctrl+A: never read (browserUnsupported, or protectedField);
# - a paragraph of marks shown in the clear, selected by a triple click: read every time, every reading the
#   same;
# - three times, a note whose second paragraph is only the U+FFFC of a picture pasted with it, all of it selected
#   with Ctrl+A: stored every time, as its two paragraphs of text;
# - once, a page of rows, columns and blocks in containers without attributes (flex rows of a price list
#   and of links, block links, a flex column, <span>s made blocks, a grid's two rows, a navigation row of
#   links parted by a gap, a flex paragraph, a narrow paragraph wrapped where a <span> starts), all of it
#   selected with Ctrl+A: read into the lines the page shows, nothing drawn on two lines run together.
# A capture that ends timedOut, as a loaded machine may make Firefox late, is pressed again, and each success is
# followed by its stored reading.
# Then, tavrine quit: the history holds the readings of the rows, the paragraph, the note and the page, and no file of the data
# or configuration folders holds the secret. Prints each case's outcomes ("OUTCOME×COUNT") and how many presses were
# made again. Skipped (77) without firefox-esr. A give-up keeps the trace, the store and the browser's log beside its
# screenshot.
set -euo pipefail
tavrine=$1
screenshot=$2
history_tool=$3
artifacts=$4
presses=${5:-10}
mkdir -p "$artifacts"
export XCTestConfigurationFilePath=/dev/null
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
command -v firefox-esr >/dev/null || { echo "$script_name: firefox-esr is not installed" >&2; exit 77; }
allow_for_presses "$presses"

make_browser_work
# Beside a give-up's trace and store: the browser's log and the presses made again.
script_evidence() {
  if cat "$work"/firefox-*.log >"$1-firefox.log" 2>/dev/null; then printf ', browser log %s' "$1-firefox.log"; fi
  if cp "$work/pressed-again" "$1-pressed-again" 2>/dev/null; then printf ', pressed again %s' "$1-pressed-again"; fi
}

secret=hunter2secret
paragraph="答えは■■■です。評価は•••◦◦の印、●●県の○○さん。ホーム • 概要"
store="$XDG_DATA_HOME/org.tavrine.Tavrine/reading-store.json"
export TAVRINE_TRACE_FILE="$work/trace"

# The session's accessibility bus, on before any application starts (they show themselves on it only then).
start_accessibility_bus

# A fresh profile: accessibility on, no first-run pages, nothing fetched from the network.
write_firefox_profile "$work/profile"

# A page whose elements stand where the script clicks, each tall enough for a click that the window's frame
# moves down (Firefox counts it in its outer height); its title tells how far below the top of the browser's
# window the page begins, how many clicks it has had, how many characters are selected in it (in
# the focused field, else in the page) and what has the focus: "Capture page OFFSET CLICKS SELECTED
# host|field|page".
cat >"$work/page.html" <<EOF
<!DOCTYPE html><html><head><meta charset="utf-8"><title>Capture page</title><script>
let clicks = 0;
function selected() {
  const field = document.activeElement;
  if (field && field.tagName === "INPUT") return field.selectionEnd - field.selectionStart;
  return String(getSelection()).length;
}
function focused() {
  const id = document.activeElement ? document.activeElement.id : "";
  return id === "host" || id === "field" || id === "password" ? id : "page";
}
function tell() {
  document.title = "Capture page " + (outerHeight - innerHeight) + " " + clicks + " " + selected() + " " + focused();
}
addEventListener("load", tell);
addEventListener("resize", tell);
addEventListener("click", () => { clicks++; tell(); });
document.addEventListener("selectionchange", tell);
addEventListener("select", tell, true);
addEventListener("keyup", tell);
</script></head><body style="margin:0">
<p id="paragraph" style="position:absolute;left:20px;top:30px;width:900px;margin:0;font-size:16px;line-height:40px">$paragraph</p>
<div id="host" contenteditable style="-webkit-text-security:disc;position:absolute;left:20px;top:100px;width:300px;height:60px;border:1px solid">$secret</div>
<input id="field" type="text" autocomplete="current-password" value="$secret" style="position:absolute;left:360px;top:100px;width:300px;height:60px">
<input id="password" type="password" value="$secret" style="position:absolute;left:700px;top:100px;width:200px;height:60px">
</body></html>
EOF

# The page of rows, its title "... page rows".
cat >"$work/rows.html" <<EOF
<!DOCTYPE html><html><head><meta charset="utf-8"><title>Capture page</title>$(titled '"rows"')</head>
<body style="margin:0;padding:0 20px;font-size:16px;height:1000px">
<h2>お品書き</h2>
<div style="display:flex;gap:40px"><span>抹茶</span><span>六百円</span></div>
<div style="display:flex;gap:40px"><span>煎茶</span><span>四百円</span></div>
<div style="display:flex;gap:40px"><a href="#n">新商品</a><a href="#w">冬の和菓子が届きました</a></div>
<div style="display:flex;gap:40px"><a href="#o">お知らせ</a><a href="#y">年末の営業時間</a></div>
<p>またのお越しをお待ちしております。</p>
<div><a href="#a" style="display:block">記事一覧</a><a href="#b" style="display:block">お問い合わせ</a></div>
<div style="display:flex;flex-direction:column"><span>ニュース</span><span>ブログ</span></div>
<div><span style="display:block">一行目の塊です。</span><span style="display:block">二行目の塊です。</span></div>
<div style="display:grid;grid-template-columns:1fr 1fr"><span>見出し左</span><span>見出し右</span><span>下の段です。</span></div>
<nav style="display:flex;gap:16px"><a href="#h">ホーム</a><a href="#s">ニュース</a><a href="#t">天気</a></nav>
<p style="display:flex">吾輩は<b>猫</b>である。</p>
<p style="width:8em">あいうえおかきく<span>けこさしすせそ</span></p>
</body></html>
EOF
# The page of a note pasted from a phone, its picture's U+FFFC a paragraph of its own, its title "... page note".
cat >"$work/note.html" <<EOF
<!DOCTYPE html><html><head><meta charset="utf-8"><title>Capture page</title>$(titled '"note"')</head>
<body style="margin:0;padding:0 20px;font-size:16px;height:1000px">
<p>旅行のメモです。</p><p>&#xFFFC;</p><p>駅前で撮った写真です。</p>
</body></html>
EOF
note_lines="旅行のメモです。|駅前で撮った写真です。"
note_presses=3

rows_lines="お品書き|抹茶|六百円|煎茶|四百円|新商品|冬の和菓子が届きました|お知らせ|年末の営業時間|またのお越しをお待ちしております。|記事一覧|お問い合わせ|ニュース|ブログ|一行目の塊です。|二行目の塊です。|見出し左|見出し右|下の段です。|ホーム|ニュース|天気|吾輩は猫である。|あいうえおかきくけこさしすせそ"

# The page of items the browser starts with: a wrapping flex row of <b> items of two characters each, drawn
# touching, 22 to a row. Its title "... page items ROWS", how many rows it draws its items in. So many items
# that only their rows are looked for, few enough that Firefox, asked about each, answers on a busy machine
# within the capture's time.
items=440
write_items_page "$work/items.html" "$items"

launch_reader "$tavrine"
reader=$window

# How many times the store file holds the paragraph's words shown in the clear: a reading of it kept adds to
# them.
stored_paragraphs() { { grep -o -F -- "●●県の○○さん" "$store" 2>/dev/null || true; } | wc -l; }
more_stored_than() { [ "$(stored_paragraphs)" -gt "$1" ]; }

host_focused() { [ "$(page_says 6)" = host ]; }
field_focused() { [ "$(page_says 6)" = field ]; }
password_focused() { [ "$(page_says 6)" = password ]; }
nothing_selected() { [ "$(page_says 6)" = page ] && [ "$(page_says 5)" = 0 ]; }
paragraph_selected() { [ "$(page_says 6)" = page ] && [ "$(page_says 5)" -ge ${#paragraph} ]; }

# Presses the capture hot key with the browser in front, waits for what it did and prints the outcome. A capture
# that ran out of its time (timedOut: on a loaded machine Firefox may answer the bus later than the capture's
# limit) read nothing and stored nothing; it is pressed again, twice at most, each time said on stderr and counted
# in the file $work/pressed-again, and the outcome printed is the last press's.
timed_out_presses=2
capture() {
  local before outcome again
  for ((again = 0; ; again++)); do
    before=$(trace_marks '^capture ')
    activate_window "$browser"
    wait_for "the browser is not in front ($1)" is_active "$browser"
    xdotool mousemove 1279 1023 && hotkey_reaching ctrl+super+alt+r
    wait_for_mark '^capture ' $((before + 1))
    outcome=$(last_capture)
    [ "$outcome" = timedOut ] && [ "$again" -lt "$timed_out_presses" ] || break
    echo "$script_name: $1 ended timedOut, as a loaded machine may make Firefox late: pressed again" >&2
    echo "$1" >>"$work/pressed-again"
  done
  echo "$outcome"
}

# The page served over http on the loopback interface, as a web page is: its address is checked before and
# after it is read.
serve_folder "$work" "$work/port"

start_firefox "$work/profile" "$(address items.html)" "$work/firefox"
activate_window "$browser"
wait_for "the browser did not come to the front" is_active "$browser"

# The page of items, all of it selected with Ctrl+A, captured twice, each reading stored before the next capture.
items_shown() { [ "$(page_says 7)" = items ]; }
items_selected() { [ "$(page_says 5)" -ge $((items * 2)) ]; }
more_item_readings_than() { [ "$(readings_of "$store" 語〇 | grep -c .)" -gt "$1" ]; }
wait_for_start "the page of items did not load" items_shown
click_page 900 900 1 items_shown
browser_key ctrl+a "Ctrl+A did not select the page of items" items_selected
item_rows=$(page_says 8)
# Each success stored before the next press: a reading more than the successes before it.
item_outcomes=()
item_successes=0
for round in 1 2; do
  item_outcomes+=("$(capture "page of items, capture $round")")
  if [ "${item_outcomes[-1]}" = succeeded ]; then
    wait_for_effect "the page of items' capture $round succeeded, but its reading was not stored" \
      more_item_readings_than "$item_successes"
    item_successes=$((item_successes + 1))
  fi
done

# The capture page, in place of the page of items.
page_shown() { [ "$(page_says 6)" = page ] && [ "$(page_says 7)" != items ]; }
open_address "$(address page.html)" "the capture page" page_shown

host_outcomes=()
for ((round = 1; round <= presses; round++)); do
  activate_window "$browser"
  click_page 900 300 1 nothing_selected
  click_page 100 110 1 host_focused
  browser_key ctrl+a "Ctrl+A did not select the masked host" page_selects ${#secret}
  host_outcomes+=("$(capture "masked host, press $round")")
done

password_outcomes=()
for ((round = 1; round <= presses; round++)); do
  activate_window "$browser"
  click_page 900 300 1 nothing_selected
  click_page 750 110 1 password_focused
  browser_key ctrl+a "Ctrl+A did not select the password" page_selects ${#secret}
  password_outcomes+=("$(capture "password field, press $round")")
done

field_outcomes=()
for ((round = 1; round <= presses; round++)); do
  activate_window "$browser"
  click_page 900 300 1 nothing_selected
  click_page 400 110 1 field_focused
  browser_key ctrl+a "Ctrl+A did not select the autocomplete field" page_selects ${#secret}
  field_outcomes+=("$(capture "autocomplete field, press $round")")
done

paragraph_outcomes=()
for ((round = 1; round <= presses; round++)); do
  activate_window "$browser"
  click_page 900 300 1 nothing_selected
  click_page 100 35 3 paragraph_selected
  kept=$(stored_paragraphs)
  paragraph_outcomes+=("$(capture "paragraph, press $round")")
  [ "${paragraph_outcomes[-1]}" != succeeded ] ||
    wait_for_effect "the paragraph's capture $round succeeded, but its reading was not stored" more_stored_than "$kept"
done

# The note, in place of the capture page, all of it selected with Ctrl+A: each reading stored before the next
# capture.
note_shown() { [ "$(page_says 7)" = note ]; }
note_selected() { [ "$(page_says 5)" -ge 19 ]; }
more_note_readings_than() { [ "$(readings_of "$store" 旅行のメモ | grep -c .)" -gt "$1" ]; }
open_address "$(address note.html)" "the note" note_shown
click_page 900 900 1 note_shown
browser_key ctrl+a "Ctrl+A did not select the note" note_selected
note_outcomes=()
note_successes=0
for ((round = 1; round <= note_presses; round++)); do
  note_outcomes+=("$(capture "note, press $round")")
  if [ "${note_outcomes[-1]}" = succeeded ]; then
    wait_for_effect "the note's capture $round succeeded, but its reading was not stored" \
      more_note_readings_than "$note_successes"
    note_successes=$((note_successes + 1))
  fi
done

# The page of rows, in place of the note, all of it selected with Ctrl+A.
rows_shown() { [ "$(page_says 7)" = rows ]; }
rows_selected() { [ "$(page_says 5)" -ge 100 ]; }
open_address "$(address rows.html)" "the page of rows" rows_shown
click_page 900 900 1 rows_shown
browser_key ctrl+a "Ctrl+A did not select the page of rows" rows_selected
rows_outcome=$(capture "page of rows")
rows_stored() { grep -q -F "六百円" "$store" 2>/dev/null; }
[ "$rows_outcome" != succeeded ] || wait_for_effect "the page of rows' capture succeeded, but it was not stored" rows_stored

tally "page of items" "${item_outcomes[@]}"
tally "masked host" "${host_outcomes[@]}"
tally "password field" "${password_outcomes[@]}"
tally "autocomplete field" "${field_outcomes[@]}"
tally "paragraph" "${paragraph_outcomes[@]}"
tally "note" "${note_outcomes[@]}"
echo "pressed again after a capture that ended timedOut: $(grep -c . "$work/pressed-again" 2>/dev/null || echo 0)"

activate_window "$reader"
key_reaching ctrl+q
wait_for_quit "$pid"
pid=""

lines=$("$history_tool" "$store") || fail "the store cannot be opened"
# The readings of the paragraph, told by their length and first characters.
paragraphs=$(echo "$lines" | grep -F "答えは" | awk '{$1 = ""; $3 = ""; print}' || true)
readings=$(echo "$paragraphs" | sort -u | grep -c . || true)
echo "paragraph: $(echo "$paragraphs" | grep -c . || true) readings stored, $readings different"
echo "secret: $(echo "$lines" | grep -c -F "$secret" || true) readings stored"
for outcome in "${item_outcomes[@]}"; do
  [ "$outcome" = succeeded ] || fail "the page of items gave $outcome"
done
# The first reading since the browser started and the second: each the rows the page draws, its items together.
item_lines=$(readings_of "$store" 語〇)
echo "page of items: $(echo "$item_lines" | awk -F'|' '{ printf "%s%d lines", (NR > 1 ? ", " : ""), NF }'), $item_rows rows drawn"
[ "$(echo "$item_lines" | grep -c .)" -eq 2 ] || fail "the page of items was not stored twice"
[ "$(echo "$item_lines" | sort -u | grep -c .)" -eq 1 ] || fail "the page of items was read into other lines the first time"
[ "$(echo "$item_lines" | head -1 | awk -F'|' '{ print NF }')" -eq "$item_rows" ] ||
  fail "the page of items was not read into its $item_rows rows: $(echo "$item_lines" | head -1 | cut -c1-300)"
for outcome in "${host_outcomes[@]}"; do
  [ "$outcome" = protectedField ] || fail "a masked editing host selected with Ctrl+A gave $outcome"
done
for outcome in "${password_outcomes[@]}"; do
  [ "$outcome" = protectedField ] || fail "a password field selected with Ctrl+A gave $outcome"
done
for outcome in "${field_outcomes[@]}"; do
  case "$outcome" in
    browserUnsupported | protectedField) ;;
    *) fail "a field named a password by its autocomplete gave $outcome" ;;
  esac
done
for outcome in "${paragraph_outcomes[@]}"; do
  [ "$outcome" = succeeded ] || fail "a triple-clicked paragraph gave $outcome"
done
for outcome in "${note_outcomes[@]}"; do
  [ "$outcome" = succeeded ] || fail "a note with a paragraph of only U+FFFC gave $outcome"
done
note_readings=$(readings_of "$store" 旅行のメモ)
echo "note: $(echo "$note_readings" | grep -c .) readings stored, $(echo "$note_readings" | sort -u | head -1)"
[ "$(echo "$note_readings" | grep -c -x -F "$note_lines")" -eq "$note_presses" ] ||
  fail "the note was not stored $note_presses times as $note_lines: $note_readings"
[ "$rows_outcome" = succeeded ] || fail "the page of rows gave $rows_outcome"
# The reading of the page of rows, as its lines.
read_lines=$(readings_of "$store" 抹茶 | head -1)
echo "page of rows: $read_lines"
[ "$read_lines" = "$rows_lines" ] || fail "the page of rows was read as $read_lines, not $rows_lines"
[ "$(echo "$lines" | grep -c .)" -eq $((presses + note_presses + 3)) ] ||
  fail "the history is not the two readings of the items, the $presses of the paragraph, the $note_presses of the note and the page of rows: $lines"
[ "$readings" -eq 1 ] || fail "the paragraph's readings differ: $lines"
found=$(grep -rl -- "$secret" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME/org.tavrine.Tavrine" 2>/dev/null || true)
[ -z "$found" ] || fail "the secret is in $found"
echo "firefox-esr: the page of items read into its rows at once, the masked host, the password field and the autocomplete field never read, the paragraph read $presses times alike, the note stored $note_presses times, the page of rows in its lines; the secret in no file"
