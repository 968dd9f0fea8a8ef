#!/usr/bin/env bash
# reader-import-focus-x11.sh TAVRINE X11-SCREENSHOT ARTIFACTS
#
# The keys after an import that follows the document list's row menu, in the real executable on an X
# display with openbox in its own default configuration (run under scripts/with-xvfb --openbox, which
# gives it fresh user folders), observed through the marks it appends to the file TAVRINE_TRACE_FILE
# names ("focus X Y WIDTH HEIGHT NAME", "status STATUS"). In a window 1,200 pixels wide with the list
# shown, a row's "…" is clicked and its menu used; then an import opens a reading, and the display has the
# keys: Space plays and pauses it.
# - 文書の詳細… closed by Escape (the click on "…" took no focus: Space plays at once), then Ctrl+Shift+V;
# - 文書を削除… confirmed by 文書を削除, which leaves the list the keys with its ring, then the clipboard
#   hot key (Meta+Ctrl+Alt+V);
# - 文書の詳細… closed by Escape, then a file chosen in the panel of Ctrl+O;
# - the list's search field with a word typed in it, then each of Ctrl+Shift+V, the clipboard hot key
#   and Ctrl+O: the reading takes the keys from the field.
# Screenshots of each step are kept in ARTIFACTS.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
reader_script reader-import-focus "$@"
trace=$(mktemp)
files=$(mktemp -d)
trap 'rm -rf "$trace" "$files"' EXIT

# What a give-up says of the reader beside what the display showed.
script_state() { echo "focus: $(focused), status: $(status)"; }
captured_more_than() { [ "$(trace_marks '^capture succeeded ')" -gt "$1" ]; }
not_playing() { [ "$(status)" != playing ]; }

# Rests the pointer on the window's left edge, over no control and no row. The server hands the motion to
# the reader before any key pressed after it, so nothing is waited for.
pointer_away() {
  xdotool mousemove $((X + 4)) $((Y + 400))
}

# Clicks the "…" of the list's first row and chooses its menu's item ITEM (Down for the first,
# 文書の詳細…; Up for the last, 文書を削除…).
row_menu() {
  # The button shows once the row under the pointer has taken the hover: a click the row took before it is
  # made again, and the menu is given the keys once it shows.
  xdotool mousemove $((tx + tw / 3)) $((ty + 39)) mousemove $((tx + tw - 8 - 14)) $((ty + 2 + 14))
  click_reaching "a click on the row's …" 'の操作$' -- xdotool click 1
  wait_for_effect "no menu appeared: the row's … opened no menu" has_menu "$pid"
  key_reaching "$1"
  key_reaching Return
}

# 文書の詳細… of the first row, closed again by Escape: the click on "…" took no focus, so the display
# has the keys again, and Space plays and pauses.
details_and_escape() {
  local sheet
  row_menu Down
  sheet=$(wait_for_window "$1" "the details of $1")
  activate_window "$sheet"
  key_doing Escape "Escape did not close the details of $1" has_no_window "$1"
  wait_for_effect "the details of $1 left the focus on $(focused)" focus_is readerRSVPDisplay
  pointer_away
  space_plays "after the details of $1"
}
has_no_window() { ! find_window "$1" >/dev/null; }

# Waits for the reading of an import, with the display focused since MARKS focus marks were written.
opened_with_display_focused() {
  local marks_before=$1 what=$2
  display_took_focus() { more_focus_marks_than "$marks_before" && focus_is readerRSVPDisplay; }
  wait_for_effect "$what left the focus on $(focused)" display_took_focus
}

# Puts TEXT, made a long reading, on the clipboard and imports it by KEYS (the paste or the clipboard hot key);
# waits for its reading with the display focused, WHAT naming the step. The hot key (super+ctrl+alt+v) is the
# desktop's, grabbed by the reader: its own mark tells its arrival.
paste_by() {
  local keys=$1 text=$2 what=$3 before
  long_reading "$text" | xclip -selection clipboard -i
  before=$(marks focus)
  if [ "$keys" = super+ctrl+alt+v ]; then hotkey_reaching "$keys"; else key_reaching "$keys"; fi
  opened_with_display_focused "$before" "$what"
}

export TAVRINE_TRACE_FILE="$trace"
launch_reader "$tavrine"
activate_window "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
pointer_away
wait_for "the new window did not focus the sample button" focus_is readerOpenSample

# Three readings in the history: two pastes and a third, each long enough to still play at its second Space.
for text in "一の文。吾輩は猫である。" "二の文。名前はまだ無い。" "三の文。どこで生れたか。"; do
  long_reading "$text" | xclip -selection clipboard -i
  before=$(trace_marks '^capture succeeded ')
  key_doing ctrl+shift+v "the paste of $text was not opened" captured_more_than "$before"
  wait_for_effect "the paste of $text did not focus the display" focus_is readerRSVPDisplay
  space_plays "the paste of $text"
done
widen_reader "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
key_reaching super+ctrl+s
tab_to 履歴の一覧 shift+Tab
read -r tx ty tw _ _ <<<"$(last_mark focus)"
tab_to readerRSVPDisplay
pointer_away
shot 1-list

# ---- 文書の詳細… and Escape, then Ctrl+Shift+V ----
details_and_escape 三の文
pointer_away
shot 2-after-details
paste_by ctrl+shift+v "四の文。貼り付けた文章。" "Ctrl+Shift+V after the row's details"
space_plays "Ctrl+Shift+V after the row's details"
shot 3-paste-playing

# ---- 文書を削除… and 文書を削除, then the clipboard hot key ----
row_menu Up
confirm_alert
wait_for "the removal did not leave the list with the keys" focus_is 履歴の一覧
pointer_away
shot 4-after-removal
paste_by super+ctrl+alt+v "五の文。ホットキーの文章。" "the clipboard hot key after a removal"
# The hot key plays what it imports.
wait_for "the hot key's reading did not play" status_is playing
space_plays "the clipboard hot key after a removal"
shot 5-hot-key-playing

# ---- 文書の詳細… and Escape, then Ctrl+O ----
details_and_escape 五の文
pointer_away
printf '散歩の記録\n\n今日は川沿いを歩いた。%s\n' "$reading_tail" >"$files/walk.txt"
before=$(marks focus)
key_doing ctrl+o "Ctrl+O opened no file panel" file_panel_in_front
choose_in_file_panel "$files/walk.txt"
opened_with_display_focused "$before" "the file chosen after the row's details"
wait_for_effect "the chosen file was not opened paused" not_playing
space_plays "the file chosen after the row's details"
shot 6-file-playing

# ---- From the list's search field, a word typed: Ctrl+Shift+V, the clipboard hot key, Ctrl+O ----
# The file's import showed the library. The search button opens the field with the keys in it; the word
# stays through the pastes, so the field stays open and Shift+Tab from the display reaches it.
search_field=ライブラリの題名・著者・本文を検索
tab_to 文書一覧を検索 shift+Tab
key_doing space "the search button did not give its field the keys" focus_is "$search_field"
xdotool type --delay 20 "文"
shot 7-search-typed
paste_by ctrl+shift+v "六の文。検索欄からの貼り付け。" "Ctrl+Shift+V from the search field"
space_plays "Ctrl+Shift+V from the search field"
shot 8-search-paste-playing

tab_to "$search_field" shift+Tab
paste_by super+ctrl+alt+v "七の文。検索欄からのホットキー。" "the clipboard hot key from the search field"
wait_for "the hot key's reading did not play" status_is playing
space_plays "the clipboard hot key from the search field"

tab_to "$search_field" shift+Tab
printf '雨の記録\n\n夕方から雨が降った。%s\n' "$reading_tail" >"$files/rain.txt"
before=$(marks focus)
key_doing ctrl+o "Ctrl+O opened no file panel" file_panel_in_front
choose_in_file_panel "$files/rain.txt"
opened_with_display_focused "$before" "the file chosen from the search field"
wait_for_effect "the chosen file was not opened paused" not_playing
space_plays "the file chosen from the search field"
shot 9-search-file-playing

key_reaching ctrl+q
wait_for_quit "$pid"
echo "after the row menu's details and removal, and from the search field, Ctrl+Shift+V, the clipboard hot key and Ctrl+O each gave the display the keys, and Space played and paused"
