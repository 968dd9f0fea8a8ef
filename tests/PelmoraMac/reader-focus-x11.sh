#!/usr/bin/env bash
# reader-focus-x11.sh TAVRINE X11-SCREENSHOT ARTIFACTS
#
# Where the real executable's keyboard focus lands when the reading controls give it up, on an X display
# with openbox in its own default configuration (run under scripts/with-xvfb --openbox, which gives it
# fresh user folders), observed through the marks it appends to the file TAVRINE_TRACE_FILE names
# ("focus X Y WIDTH HEIGHT NAME", "status STATUS"):
# - a paste that fails (an empty clipboard) with the focus on the play button (Ctrl+Shift+V), on the
#   speed slider after a click on it (Ctrl+Alt+Shift+V) and again on the play button (the clipboard hot
#   key): the display takes the focus each time, and Space plays;
# - a click on the failure notice's text selects it and leaves the focus on the display: Space plays;
# - a click on the speed slider keeps the focus there for its arrows, and Space plays and pauses;
# - at 620 pixels, where the list is a popup: a row clicked there opens and the popup closes, Space
#   plays; a paste opened over that row and removed through the popup's row menu: the start view's
#   sample button has the focus, and its Space opens the sample;
# - in a window 1,200 pixels wide with the document list shown, a click on the list's ライブラリ and 履歴
#   segments leaves the focus on the display, and Space plays;
# - a row removed through its "…" menu (the selected one, by the pointer): the list has the focus with its
#   ring and no row takes the removed one's place, Down opens the first and Return plays it; the rows
#   removed with the keys (Shift+F10) one by one: after the last, the reading area has the focus again;
# - the start view's file panel opened by the pointer and cancelled: the sample button has the focus, and
#   its Space opens the sample.
# Screenshots of each step are kept in ARTIFACTS.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
reader_script reader-focus "$@"
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT


# What a give-up says of the reader beside what the display showed.
script_state() { echo "focus: $(focused), status: $(status)"; }
focus_in_reading_area() { focus_is readerRSVPDisplay || focus_is readerOpenSample; }

# A paste with nothing on the clipboard, by KEYS: the display takes the focus, and Space plays. The clipboard hot
# key (super+ctrl+alt+v) is the desktop's, grabbed by the reader: its own mark tells its arrival.
failed_paste() {
  local keys=$1 what=$2 before
  printf '' | xclip -selection clipboard -i
  before=$(marks focus)
  if [ "$keys" = super+ctrl+alt+v ]; then hotkey_reaching "$keys"; else key_reaching "$keys"; fi
  focus_moved_to_display() { more_focus_marks_than "$before" && focus_is readerRSVPDisplay; }
  wait_for_effect "the failed paste ($what) left the focus on $(focused)" focus_moved_to_display
  space_plays "after the failed paste ($what)"
}

export TAVRINE_TRACE_FILE="$trace"
launch_reader "$tavrine"
activate_window "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
wait_for "the new window did not focus the sample button" focus_is readerOpenSample
key_doing space "the opened sample did not focus the display" focus_is readerRSVPDisplay
wait_for "the sample did not open" status_is ready
# The display stands 24 pixels below the top of the reading column, where a capture strip opens.
read -r display_x display_y _ _ _ <<<"$(last_mark focus)"
shot 1-sample
# What the steps below play and pause with Space: the sample's five sentences could end between two presses on a
# loaded machine.
paste_and_play "一の文。失敗する貼り付けの前に。"

# ---- Failed pastes, the failure notice and the speed slider ----
tab_to 再生
failed_paste ctrl+shift+v "Ctrl+Shift+V on the play button"
shot 2-failed-paste
# The notice's first line, past its warning sign, 17 pixels down the strip: a click there and a drag
# along it select its text (the primary selection) and leave the display the keys.
before=$(marks focus)
notice_y=$((display_y - 24 + 17))
printf '' | xclip -selection primary -i
xdotool mousemove $((display_x + 60)) "$notice_y" click 1
xdotool mousedown 1 mousemove $((display_x + 120)) "$notice_y" mousemove $((display_x + 200)) "$notice_y" mouseup 1
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
space_plays "after a click on the failure notice's text"
[ "$(marks focus)" = "$before" ] || fail "a click on the failure notice's text moved the focus to $(focused)"
selected_text() { [ -n "$(xclip -selection primary -o 2>/dev/null)" ]; }
wait_for "a drag along the failure notice's text selected nothing" selected_text
shot 2-notice-selected

tab_to readerSpeedSlider
read -r x y w h _ <<<"$(last_mark focus)"
tab_to readerRSVPDisplay
# A click on the knob (at 1.0×, the left end) gives the slider the focus; Space plays all the same.
before=$(marks focus)
xdotool mousemove $((x + 6)) $((y + h / 2)) click 1
wait_for "a click on the speed slider did not give it the focus" focus_is readerSpeedSlider
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
space_plays "on the speed slider"
shot 3-slider-space
failed_paste ctrl+alt+shift+v "Ctrl+Alt+Shift+V on the speed slider"

tab_to 再生
failed_paste super+ctrl+alt+v "the clipboard hot key on the play button"
shot 4-hot-key

# ---- At 620 pixels: a removal from the list's popup ----
paste_and_play "吾輩は猫である。名前はまだ無い。"
paste_and_play "どこで生れたかとんと見当がつかぬ。"
xdotool windowsize --sync "$window" 620 720
wait_for "the reader did not shrink to 620 pixels" display_is_narrow
# Rows of the popup's list start 109 pixels down it, 82 apart; a row's "…" stands 57 pixels from its
# right edge.
# A row clicked there opens, and the popup gives the reading the keys as it closes.
popup_list
phrases=$(trace_marks '^phrase-shown ')
xdotool mousemove $((px + pw / 3)) $((py + 109 + 2 * 82)) click 1
wait_for_mark '^phrase-shown ' $((phrases + 1))
within_limit has_no_menu "$pid" || fail "the list's popup stayed over the row it opened"
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
space_plays "after a row clicked in the list's popup"
paste_and_play "三の文。一覧のポップアップで消す。"
popup_list
# The row takes the hover first: a click the row took before its "…" showed is made again.
xdotool mousemove $((px + pw / 3)) $((py + 109)) mousemove $((px + pw - 57)) $((py + 109))
click_reaching "a click on the popup row's …" 'の操作$' -- xdotool click 1
wait_for_effect "the popup row's … opened no menu" menus_at_least 2
key_reaching Up
key_reaching Return
confirm_alert
wait_for "the removal from the popup left the focus on $(focused)" focus_is readerOpenSample
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
shot 5-popup-removal
key_doing space "Space on the sample button did not open the sample" focus_is readerRSVPDisplay
space_plays "the sample opened after the removal from the popup"

# ---- The list's segments and a removal ----
widen_reader "$window"
key_reaching super+ctrl+s
tab_to 履歴の一覧 shift+Tab
read -r tx ty tw _ _ <<<"$(last_mark focus)"
tab_to ライブラリ shift+Tab
read -r lx ly lw lh _ <<<"$(last_mark focus)"
tab_to readerRSVPDisplay
# The 履歴 segment stands just left of ライブラリ.
# The reader handles the click before the Space after it: once Space has played and paused, a focus the
# click moved would have been marked.
for segment in "$((lx + lw / 2)) ライブラリ" "$((lx - 12)) 履歴"; do
  read -r x name <<<"$segment"
  before=$(marks focus)
  xdotool mousemove "$x" $((ly + lh / 2)) click 1
  xdotool mousemove $((X + 4)) $((Y + 400))
  space_plays "after a click on the $name segment"
  [ "$(marks focus)" = "$before" ] || fail "a click on the $name segment moved the focus to $(focused)"
done
shot 6-segments

# Five rows: the sample opened again, the three pastes and the first sample. A click on the second opens
# it; its "…" menu removes it.
row_middle=$((ty + 82 + 39))
xdotool mousemove $((tx + tw / 3)) $row_middle click 1
wait_for "the clicked row did not focus the display" focus_is readerRSVPDisplay
# The list's top edge without the focus, to tell its ring once drawn.
"$screenshot" "$artifacts/reader-focus-list-unfocused.png" "$tx" "$ty" "$tw" 8
# The row's "…" button shows while the pointer is over the row: clicked once it is drawn.
button=($((tx + tw - 8 - 28)) $((ty + 82 + 2)) 28 28)
"$screenshot" "$artifacts/reader-focus-row-plain.png" "${button[@]}"
xdotool mousemove $((tx + tw - 8 - 14)) $((ty + 82 + 2 + 14))
button_drawn() {
  "$screenshot" "$artifacts/reader-focus-row-hovered.png" "${button[@]}"
  ! cmp -s "$artifacts/reader-focus-row-plain.png" "$artifacts/reader-focus-row-hovered.png"
}
wait_for "the row's … button did not show under the pointer" button_drawn
rm -f "$artifacts/reader-focus-row-plain.png" "$artifacts/reader-focus-row-hovered.png"
xdotool click 1
wait_for_menu "$pid" "the row's … menu"
before=$(marks focus)
# The menu's last item: "文書を削除…".
key_reaching Up
key_reaching Return
confirm_alert
focus_on_list() { more_focus_marks_than "$before" && focus_is 履歴の一覧; }
wait_for "the removal left the focus on $(focused)" focus_on_list
xdotool mousemove $((X + 4)) $((Y + 400))
ring_drawn() {
  "$screenshot" "$artifacts/reader-focus-list-ringed.png" "$tx" "$ty" "$tw" 8
  ! cmp -s "$artifacts/reader-focus-list-unfocused.png" "$artifacts/reader-focus-list-ringed.png"
}
wait_for "the list took the focus without a ring on its edge" ring_drawn
shot 7-removed
readings=$(marks reading)
reading_opened() { [ "$(marks reading)" -gt "$readings" ]; }
key_doing Down "Down on the list opened no row" reading_opened
key_doing Return "Return on the list did not play the row chosen with Down" status_is playing
key_doing ctrl+Return "Ctrl+Return did not pause" status_is paused

# The rest removed with the keys, each chosen with Down first; after the last, the reading area.
for _ in 1 2 3 4; do
  before=$(marks focus)
  key_reaching Down
  key_doing shift+F10 "no menu appeared: Shift+F10 on the list" has_menu "$pid"
  key_reaching Up
  key_reaching Return
  confirm_alert
  wait_for "the removal with the keys left the focus on $(focused)" more_focus_marks_than "$before"
  focus_is 履歴の一覧 || break
done
wait_for "the last removal left the focus on $(focused)" focus_in_reading_area
shot 8-emptied
# Without the focus the list's edge has no ring.
"$screenshot" "$artifacts/reader-focus-list-plain.png" "$tx" "$ty" "$tw" 8
cmp -s "$artifacts/reader-focus-list-ringed.png" "$artifacts/reader-focus-list-plain.png" &&
  fail "the list's edge looked the same with and without the focus"

# Emptied, the window shows the start view. Its file panel opened by the pointer and cancelled: the sample
# button has the keys again, although the view's controls were disabled behind the panel (last, as the
# panel shows the library).
tab_to readerStartOpenFile
read -r x y w h _ <<<"$(last_mark focus)"
tab_to readerOpenSample
before=$(marks focus)
xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
panel=$(wait_for_window '^開く$' 'the file panel')
activate_window "$panel"
sample_focused_again() { more_focus_marks_than "$before" && focus_is readerOpenSample; }
key_doing Escape "the cancelled file panel left the focus on $(focused)" sample_focused_again
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
key_doing space "Space on the sample button after the cancelled panel did not open the sample" \
  focus_is readerRSVPDisplay

key_reaching ctrl+q
wait_for_quit "$pid"
echo "failed pastes focused the display three times, Space played on the slider and after the segments, the removal kept the list's focus"
