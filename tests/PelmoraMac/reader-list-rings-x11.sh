#!/usr/bin/env bash
# reader-list-rings-x11.sh TAVRINE X11-SCREENSHOT ARTIFACTS
#
# One focus mark at a time in both layouts of the real executable's document list, on an X display with
# openbox in its own default configuration (run under scripts/with-xvfb --openbox), the focus followed
# through the marks the reader appends to the file TAVRINE_TRACE_FILE names ("focus X Y WIDTH HEIGHT NAME",
# the narrow window's list popup included) and the rings through screenshots of the list's edge:
# - 1,200 pixels wide, the list shown: from the display, Shift+Tab gives a row's "…" the keys; the list hidden
#   and shown again (Meta+Ctrl+S twice) hands them to the display, and the list's edge looks as it did
#   without the keys: no ring of the list beside the display's. Space plays;
# - 620 pixels wide, the list's popup: Tab to the list and down two rows (the list ringed), Tab to the
#   row's "…" (the list's ring gone), Escape; the popup opened again gives the keys back to that "…" and the
#   list's edge has no ring; Space opens the "…" menu, where the ring is.
# Screenshots of each step are kept in ARTIFACTS.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
reader_script reader-list-rings "$@"

# What a give-up says of the reader beside what the display showed.
script_state() { echo "focus: $(focused), status: $(status)"; }
pointer_away() {
  xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
}

# Saves the rectangle X Y WIDTH HEIGHT of the screen as NAME in the artifacts; same_as NAME OTHER compares
# two of them.
edge() {
  local name=$1
  shift
  "$screenshot" "$artifacts/reader-list-rings-edge-$name.png" "$@"
}
same_as() {
  cmp -s "$artifacts/reader-list-rings-edge-$1.png" "$artifacts/reader-list-rings-edge-$2.png"
}
# Whether the keys are on a row's "…" (named after its row), not higher than Y (the list's top).
on_row_button_below() {
  local mark
  mark=$(last_mark focus)
  [[ "$mark" == *の操作 ]] && [ "$(awk '{ print $2 }' <<<"$mark")" -ge "$1" ]
}

launch_reader "$tavrine"
activate_window "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
pointer_away
wait_for "the new window did not focus the sample button" focus_is readerOpenSample
key_doing space "the opened sample did not focus the display" focus_is readerRSVPDisplay
wait_for_effect "the sample did not open" status_is ready
space_plays "the sample"
paste_and_play "吾輩は猫である。名前はまだ無い。"
paste_and_play "どこで生れたかとんと見当がつかぬ。"

# ---- 1,200 pixels: the list hidden and shown while a row's "…" has the keys ----
widen_reader "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
key_reaching super+ctrl+s
tab_to 履歴の一覧 shift+Tab
read -r tx ty tw th _ <<<"$(last_mark focus)"
tab_to readerRSVPDisplay
read -r dx dy dw dh _ <<<"$(last_mark focus)"
# The first row (the reading open) clicked: selected, its "…" drawn on it, the display has the keys; then
# a click on the display, as a person starts from.
xdotool mousemove $((tx + tw / 3)) $((ty + 39)) click 1
wait_for "the clicked row did not leave the display the keys" focus_is readerRSVPDisplay
xdotool mousemove $((dx + dw / 2)) $((dy + dh / 2)) click 1
pointer_away
# The list's left edge, over its rows, without the keys.
wait_for "the display did not keep the keys after a click" focus_is readerRSVPDisplay
edge wide-plain "$tx" $((ty + 8)) 4 $((th - 16))
tab shift+Tab >/dev/null
wait_for "Shift+Tab from the display did not reach the row's …" on_row_button_below "$ty"
shot 1-row-button
before=$(marks focus)
hidden_to_display() { more_focus_marks_than "$before" && focus_is readerRSVPDisplay; }
key_doing super+ctrl+s "hiding the list did not give the display the keys" hidden_to_display
key_reaching super+ctrl+s
edge_plain_again() {
  edge wide-shown "$tx" $((ty + 8)) 4 $((th - 16))
  same_as wide-shown wide-plain
}
wait_for "the list shown again drew its ring while the display had the keys" edge_plain_again
shot 2-list-shown-again
focus_is readerRSVPDisplay || fail "the list shown again took the keys: $(focused)"
space_plays "the display after the list was hidden and shown"

# ---- 620 pixels: the list's popup ----
xdotool windowsize --sync "$window" 620 720
eval "$(xdotool getwindowgeometry --shell "$window")"
wait_for "the reader did not shrink to 620 pixels" display_is_narrow
pointer_away
key_doing super+ctrl+s "no menu appeared: the list's popup" has_menu "$pid"
tab_to 履歴の一覧
read -r px py _ ph _ <<<"$(last_mark focus)"
key_reaching Down
key_reaching Down
# The list's left edge, over its rows, with the keys and then without them.
edge narrow-list "$px" $((py + 8)) 4 $((ph - 16))
tab Tab >/dev/null
wait_for "Tab from the popup's list did not reach the row's …" on_row_button_below "$py"
button=$(last_mark focus)
edge narrow-button "$px" $((py + 8)) 4 $((ph - 16))
same_as narrow-button narrow-list && fail "the popup's list was ringed alike with and without the keys"
shot 3-popup-row-button
key_doing Escape "Escape did not close the list's popup" has_no_menu "$pid"
before=$(marks focus)
key_doing super+ctrl+s "no menu appeared: the list's popup again" has_menu "$pid"
back_on_button() { more_focus_marks_than "$before" && [ "$(last_mark focus)" = "$button" ]; }
wait_for "the popup opened again did not give the row's … the keys back" back_on_button
edge_without_list_ring() {
  edge narrow-again "$px" $((py + 8)) 4 $((ph - 16))
  same_as narrow-again narrow-button
}
wait_for "the popup opened again ringed its list beside the row's …" edge_without_list_ring
shot 4-popup-again
key_doing space "Space on the ringed … opened no menu" menus_at_least 2
menus_at_most() { [ "$(shown_menus "$pid" | wc -l)" -le "$1" ]; }
key_doing Escape "Escape did not close the … menu" menus_at_most 1
key_doing Escape "Escape did not close the list's popup" has_no_menu "$pid"
wait_for_effect "the closed popup did not give the display the keys" focus_is readerRSVPDisplay
space_plays "the display after the popup"

key_reaching ctrl+q
wait_for_quit "$pid"
echo "one ring at a time: the list shown again left the display the keys and drew none; the popup opened again rang only the row's …"
