#!/usr/bin/env bash
# reader-deletion-x11.sh TAVRINE X11-SCREENSHOT ARTIFACTS
#
# Readings deleted from the document list of the real executable while another, or the same, is open, on an
# X display with openbox in its own default configuration (run under scripts/with-xvfb --openbox, which
# gives it fresh user folders), observed through the marks it appends to the file TAVRINE_TRACE_FILE names
# ("reading TITLE", "notice TEXT", "status STATUS", "focus X Y WIDTH HEIGHT NAME", "history COUNT", "library
# COUNT"). Eight pastes, each long enough to still play when the keys of a step come; in a window 1,200
# pixels wide with the list beside the reader:
# - the row chosen in the list, not open (a paste opened after it), deleted with the keys (Shift+F10) while
#   the paste plays, and with the pointer (its "…") while the paste is paused: the paste stays open as it
#   was, playing with no new status, or paused on the same phrase;
# - the open reading, playing, with a row below it, deleted from the history with the pointer and from the
#   library with the keys: the reader stops and says 「この文書は保存先から削除されたため、再生を停止しました。」,
#   no other reading opens, and the list keeps the keys;
# - the open reading, which stays in the library, removed from the history with the keys (履歴から除く…): it
#   plays on, nothing said;
# and at 620 pixels, the open reading with a row below it deleted through the list's popup with the pointer:
# the reader stops with the notice, nothing opens, and the start view's sample button has the keys.
# Screenshots of each step are kept in ARTIFACTS.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
reader_script reader-deletion "$@"
trace=$(mktemp)
trap 'rm -f "$trace" "$artifacts"/reader-deletion-phrase-*.png' EXIT

removed_notice=この文書は保存先から削除されたため、再生を停止しました。
# Sentences after a paste's first one: at the reader's pace it plays for minutes, so that it still plays
# however slowly the menus, alerts and Tab walks of a step go on a loaded machine.
tail_text=$(printf '吾輩は猫である。名前はまだ無い。%.0s' $(seq 120))

# What a give-up says of the reader beside what the display showed.
script_state() {
  echo "focus: $(focused), status: $(status), reading: $(last_mark reading | cut -c1-12), notice: $(last_mark notice)"
}

# Rests the pointer on the window's left edge, over no control and no row.
pointer_away() {
  xdotool mousemove $((X + 4)) $((Y + 400))
}

# Whether the reading open is the one whose title begins with PREFIX (the empty prefix: none is open).
reading_is() {
  local open
  open=$(last_mark reading)
  if [ -z "$1" ]; then [ -z "$open" ]; else [[ "$open" == "$1"* ]]; fi
}

# Pastes the reading that begins with FIRST (its title) and plays it a moment: it is paused after.
paste_reading() {
  copy_text "$1$tail_text"
  key_doing ctrl+shift+v "the paste $1 was not opened" reading_is "$1"
  wait_for_effect "the paste $1 did not focus the display" focus_is readerRSVPDisplay
  space_plays "the paste $1"
}

# Plays the reading open with Ctrl+Return, wherever the keys are.
play_open_reading() {
  status_is playing || key_doing ctrl+Return "Ctrl+Return did not play $(last_mark reading | cut -c1-4)" status_is playing
}

# Clicks row ROW of the list (0 the first) and waits until it opens the reading whose title begins with
# PREFIX, the display taking the keys.
open_row() {
  local row=$1 prefix=$2
  xdotool mousemove $((tx + tw / 3)) $((ty + row * 82 + 39)) click 1
  wait_for_effect "the click on row $row did not open $prefix" reading_is "$prefix"
  wait_for_effect "the row $row opened left the focus on $(focused)" focus_is readerRSVPDisplay
  pointer_away
}

# Opens the "…" menu of row ROW of the list with the pointer and chooses its last item (文書を削除…, or
# 履歴から除く… for a reading in the library); of the narrow window's popup when a second argument is given.
row_menu_last_by_pointer() {
  local row=$1 x y
  if [ -n "${2:-}" ]; then
    # Rows of the popup's list have their "…" 109 pixels down it, 82 apart, 57 pixels from its right edge.
    x=$((px + pw - 57)) y=$((py + 109 + row * 82))
    xdotool mousemove $((px + pw / 3)) "$y"
  else
    x=$((tx + tw - 8 - 14)) y=$((ty + row * 82 + 2 + 14))
    xdotool mousemove $((tx + tw / 3)) $((ty + row * 82 + 39))
  fi
  # The button shows once the row under the pointer has taken the hover: a click the row took is made again.
  xdotool mousemove "$x" "$y"
  click_reaching "a click on the … of row $row" 'の操作$' -- xdotool click 1
  # The popup is a menu-like window of its own: the row's menu is the second.
  wait_for_effect "the … of row $row opened no menu" menus_at_least $((${2:+1} + 1))
  key_reaching Up
  key_reaching Return
}

# Opens the menu of the list's selected row with Shift+F10 and chooses its last item.
row_menu_last_by_keys() {
  key_doing shift+F10 "no menu appeared: Shift+F10 on the list" has_menu "$pid"
  key_reaching Up
  key_reaching Return
}

# Confirms the alert that asks about the reading whose title begins with PREFIX (its window title begins
# with 「PREFIX and ends with QUESTION) and waits until the removal is over.
confirm_about() {
  wait_for_window "^「$1.*$2" "the alert about $1" >/dev/null
  confirm_alert
}

# Watches over a span of observation (two seconds, the time a reading the list opens takes to open many
# times over) that the player takes no other reading than the one open now; WHAT names the step.
no_other_reading_opens() {
  local readings
  readings=$(marks reading)
  reading_taken() { [ "$(marks reading)" -gt "$readings" ]; }
  ! within_seconds 2 reading_taken || fail "$1: the reader opened \"$(last_mark reading | cut -c1-12)\""
}

# The reader stopped for the deletion of the reading open: nothing open, the notice said, nothing opened
# after it; WHAT names the step.
stopped_with_notice() {
  wait_for_effect "$1: the reader did not stop" reading_is ""
  wait_for_effect "$1: the reader said \"$(last_mark notice)\"" notice_is_removal
  no_other_reading_opens "$1"
  if ! reading_is "" || ! notice_is_removal; then fail "$1: the reader opened a reading or its notice went"; fi
}
notice_is_removal() { [ "$(last_mark notice)" = "$removed_notice" ]; }

# The reading that begins with PREFIX is still open as it was: no other reading taken, no status changed
# since STATUSES status marks, nothing said; WHAT names the step.
open_reading_kept() {
  local prefix=$1 statuses=$2 what=$3
  no_other_reading_opens "$what"
  reading_is "$prefix" || fail "$what: the reader holds \"$(last_mark reading | cut -c1-12)\""
  [ "$(marks status)" = "$statuses" ] || fail "$what: the reading went from playing or paused to $(status)"
  [ -z "$(last_mark notice)" ] || fail "$what: the reader said \"$(last_mark notice)\""
}

# The middle of the display, where the phrase stands (no focus ring reaches it).
phrase_shot() {
  "$screenshot" "$artifacts/reader-deletion-phrase-$1.png" $((dx + dw / 4)) $((dy + dh / 4)) $((dw / 2)) $((dh / 2))
}

export TAVRINE_TRACE_FILE="$trace"
launch_reader "$tavrine"
activate_window "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
pointer_away
wait_for "the new window did not focus the sample button" focus_is readerOpenSample

# Five readings, the first three also in the library (Ctrl+D). History: 五 四 三 二 一; library: 三 二 一.
for first in 一の文。 二の文。 三の文。 四の文。 五の文。; do
  paste_reading "$first"
  case $first in 一* | 二* | 三*)
    count=$(last_mark library)
    library_grew() { [ "$(last_mark library)" -gt "${count:-0}" ]; }
    key_doing ctrl+d "Ctrl+D did not add $first to the library" library_grew ;;
  esac
done
widen_reader "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
key_reaching super+ctrl+s
tab_to 履歴の一覧 shift+Tab
read -r tx ty tw _ _ <<<"$(last_mark focus)"
tab_to ライブラリ shift+Tab
read -r lx ly lw lh _ <<<"$(last_mark focus)"
tab_to readerRSVPDisplay
read -r dx dy dw dh _ <<<"$(last_mark focus)"
pointer_away
shot 1-list

# ---- A row chosen in the list but not open, deleted with the keys while a paste plays ----
open_row 1 四の文。
paste_reading 六の文。
play_open_reading
statuses=$(marks status)
tab_to 履歴の一覧 shift+Tab
row_menu_last_by_keys
confirm_about 四の文。 を削除しますか
wait_for_effect "the deletion with the keys left the focus on $(focused)" focus_is 履歴の一覧
open_reading_kept 六の文。 "$statuses" "the chosen row deleted with the keys"
status_is playing || fail "the paste stopped playing"
shot 2-chosen-row-deleted-by-keys
# History: 六 五 三 二 一.

# ---- A row chosen in the list but not open, deleted with the pointer while a paste is paused ----
open_row 1 五の文。
paste_reading 七の文。
# History: 七 六 五 三 二 一, 五 chosen.
statuses=$(marks status)
phrase_shot before
row_menu_last_by_pointer 2
confirm_about 五の文。 を削除しますか
wait_for_effect "the deletion with the pointer left the focus on $(focused)" focus_is 履歴の一覧
open_reading_kept 七の文。 "$statuses" "the chosen row deleted with the pointer"
status_is paused || fail "the paused paste is $(status)"
phrase_shot after
cmp -s "$artifacts/reader-deletion-phrase-before.png" "$artifacts/reader-deletion-phrase-after.png" ||
  fail "the paused paste shows another phrase"
shot 3-chosen-row-deleted-by-pointer

# ---- The open reading, playing, deleted from the history with the pointer ----
play_open_reading
row_menu_last_by_pointer 0
confirm_about 七の文。 を削除しますか
stopped_with_notice "the open reading deleted from the history"
wait_for_effect "the deletion of the open reading left the focus on $(focused)" focus_is 履歴の一覧
shot 4-open-deleted-from-history
# History: 六 三 二 一.

# ---- The open reading, in the library, removed from the history with the keys ----
open_row 1 三の文。
play_open_reading
statuses=$(marks status)
tab_to 履歴の一覧 shift+Tab
row_menu_last_by_keys
confirm_about 三の文。 を履歴から除きますか
wait_for_effect "the removal from the history left the focus on $(focused)" focus_is 履歴の一覧
open_reading_kept 三の文。 "$statuses" "the open reading removed from the history"
status_is playing || fail "the reading removed from the history stopped playing"
shot 5-open-removed-from-history

# ---- The open reading, playing, deleted from the library with the keys ----
tab_to readerRSVPDisplay
# Library: 三 二 一. Down chooses 三, open already; Down again opens 二, the list keeping the keys.
xdotool mousemove $((lx + lw / 2)) $((ly + lh / 2)) click 1
pointer_away
tab_to ライブラリの一覧 shift+Tab
key_reaching Down
key_reaching Down
wait_for_effect "Down in the library did not open 二の文。" reading_is 二の文。
focus_is ライブラリの一覧 || fail "the row opened with Down took the keys from the list to $(focused)"
play_open_reading
row_menu_last_by_keys
confirm_about 二の文。 を削除しますか
stopped_with_notice "the open reading deleted from the library"
wait_for_effect "the deletion from the library left the focus on $(focused)" focus_is ライブラリの一覧
shot 6-open-deleted-from-library
# Library: 三 一.

# ---- At 620 pixels: the open reading deleted through the list's popup ----
# The 履歴 segment stands just left of ライブラリ.
xdotool mousemove $((lx - 12)) $((ly + lh / 2)) click 1
pointer_away
paste_reading 八の文。
play_open_reading
xdotool windowsize --sync "$window" 620 720
wait_for "the reader did not shrink to 620 pixels" display_is_narrow
popup_list
row_menu_last_by_pointer 0 popup
confirm_about 八の文。 を削除しますか
stopped_with_notice "the open reading deleted through the popup"
wait_for_effect "the deletion through the popup left the focus on $(focused)" focus_is readerOpenSample
xdotool mousemove $((X + 4)) $((Y + 300))
shot 7-open-deleted-through-popup

key_reaching ctrl+q
wait_for_quit "$pid"
echo "the open reading stopped with the notice and nothing else opened, from the history, the library and the popup; readings not open were deleted around it"
