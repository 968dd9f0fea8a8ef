#!/usr/bin/env bash
# reader-keys-x11.sh TAVRINE X11-SCREENSHOT ARTIFACTS
#
# The real executable's keyboard focus and keys on an X display with openbox in its own default
# configuration (run under scripts/with-xvfb --openbox, which gives it fresh user folders), observed
# through the marks it appends to the file TAVRINE_TRACE_FILE names ("focus X Y WIDTH HEIGHT NAME",
# "status STATUS", "speed LABEL"):
# - the new window focuses the start view's sample button, whose Space opens the sample, and the display
#   takes the focus;
# - Tab from the display walks the reading column's controls in the order they stand on screen, then the
#   toolbar, and comes back to the display; each stop is ringed (a screenshot keeps the ring on the play
#   button);
# - a click on each transport and speed button leaves the focus where it was, and Space then plays or
#   pauses each time;
# - with the focus on a toolbar button, Ctrl+Shift+V imports the clipboard, the display takes the focus
#   and Space plays the import;
# - Ctrl+Shift+Up three times raises the speed by 0.3×;
# - in a window 1,200 pixels wide with the document list shown, a click on a row opens that reading, the
#   display takes the focus and Space plays it;
# - a file chosen in the file panel by typing its path, the panel's completion list still up as Return
#   closes it: the display takes the focus and the menu's Ctrl+Return plays the file.
# Screenshots of each step are kept in ARTIFACTS.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
reader_script reader-keys "$@"
trace=$(mktemp)
files=$(mktemp -d)
trap 'rm -rf "$trace" "$files"' EXIT


# What a give-up says of the reader beside what the display showed.
script_state() { echo "focus: $(focused), status: $(status), speed: $(last_mark speed)"; }
speed_is() { [ "$(last_mark speed)" = "$1" ]; }
not_playing() { [ "$(status)" != playing ]; }


export TAVRINE_TRACE_FILE="$trace"
launch_reader "$tavrine"
activate_window "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
# The pointer rests on the window's corner, over no control.
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
wait_for "the new window did not focus the sample button" focus_is readerOpenSample
shot 1-start

# The sample button opens the sample with Space; the display takes the focus.
key_doing space "the opened sample did not focus the display" focus_is readerRSVPDisplay
wait_for_effect "the sample did not open" status_is ready
shot 2-sample

# Tab walks the column in screen order, then the toolbar, and comes back to the display. The minus
# button is disabled at 1.0× and skipped.
declare -A place
walk=()
for _ in $(seq 1 30); do
  mark=$(tab Tab)
  read -r x y w h name <<<"$mark"
  place[$name]="$x $y $w $h"
  [ "$name" = readerRSVPDisplay ] && break
  walk+=("$name")
  if [ "$name" = 再生 ]; then
    shot 3-focus-ring-play
    "$screenshot" "$artifacts/reader-keys-play-ringed.png" "$x" "$y" "$w" "$h"
  fi
done
column=(readerProgressSlider 文の先頭へ戻る 再生 次の文へ readerSpeedSlider 読む速度を0.1倍上げる readerReturnToPlayback
  readerFindInDocument readerToggleSource 読む文章)
[ "${walk[*]:0:${#column[@]}}" = "${column[*]}" ] || fail "Tab walked the column as: ${walk[*]}"
toolbar=$(printf '%s\n' "${walk[@]:${#column[@]}}" | grep -E '^(文書一覧を表示|readerImportMenu|readerAddToLibrary)$' | tr '\n' ' ')
[ "$toolbar" = "文書一覧を表示 readerImportMenu readerAddToLibrary " ] || fail "Tab walked the toolbar as: ${walk[*]}"
focus_is readerRSVPDisplay || fail "Tab did not come back to the display: ${walk[*]}"
# The play button without the focus looks otherwise than with it: the ring is gone.
read -r x y w h <<<"${place[再生]}"
"$screenshot" "$artifacts/reader-keys-play-plain.png" "$x" "$y" "$w" "$h"
cmp -s "$artifacts/reader-keys-play-ringed.png" "$artifacts/reader-keys-play-plain.png" &&
  fail "the play button looked the same with and without the focus"

# A click on each transport and speed button leaves the focus on the display, and Space toggles
# playback after each. From playing: on and back a sentence pause, play/pause pauses, plus and minus step
# the speed. The minus button stands left of the slider as plus stands right of it; it is enabled once
# plus has raised the speed.
read -r sx _ _ _ <<<"${place[readerSpeedSlider]}"
read -r _ py pw ph <<<"${place[読む速度を0.1倍上げる]}"
place[minus]="$((sx - 4 - pw)) $py $pw $ph"
toggle_with_space "to start the sample"
for step in "次の文へ status_is paused" "文の先頭へ戻る status_is paused" "再生 status_is paused" \
  "読む速度を0.1倍上げる speed_is 1.1×" "minus speed_is 1.0×"; do
  read -r button condition <<<"$step"
  read -r x y w h <<<"${place[$button]}"
  before=$(marks focus)
  click_reaching "a click on $button" . -- xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
  # shellcheck disable=SC2086 # the condition and its argument
  wait_for_effect "a click on $button did nothing" $condition
  [ "$(marks focus)" = "$before" ] || fail "a click on $button moved the focus to $(focused)"
  toggle_with_space "after a click on $button"
done
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
[ "$(status)" = playing ] && toggle_with_space "to pause the sample"
shot 4-clicked

# With the focus on the toolbar's list toggle (whose Space would show the list), Ctrl+Shift+V imports
# the clipboard and the display takes the focus: Space plays the import.
text=""
for _ in $(seq 1 20); do text+="吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"; done
printf '%s' "$text" | xclip -selection clipboard -i
for _ in $(seq 1 30); do
  [ "$(focused)" = 文書一覧を表示 ] && break
  tab Tab >/dev/null
done
focus_is 文書一覧を表示 || fail "Tab never reached the list toggle"
key_doing ctrl+shift+v "the import did not focus the display" focus_is readerRSVPDisplay
wait_for_effect "the clipboard was not imported" status_is ready
toggle_with_space "after the clipboard import"
shot 5-import-playing
toggle_with_space "to pause the import"

# Ctrl+Shift+Up three times: 0.3× faster, as the speed label reads.
speed=$(last_mark speed)
speed=${speed:-1.0×}
for _ in 1 2 3; do key_reaching ctrl+shift+Up; done
raised=$(awk -v s="${speed%×}" 'BEGIN { printf "%.1f×", s + 0.3 }')
wait_for_effect "Ctrl+Shift+Up three times did not raise $speed to $raised" speed_is "$raised"
shot 6-faster

# The list shown in a wide window: a click on its second row (the sample, played before the import)
# opens the sample, and Space plays it.
# Wide enough, the list's key shows the list pane beside the reader (narrower it opens a popup).
widen_reader "$window"
key_reaching super+ctrl+s
for _ in $(seq 1 10); do
  [ "$(focused)" = 履歴の一覧 ] && break
  tab shift+Tab >/dev/null
done
focus_is 履歴の一覧 || fail "Shift+Tab from the display never reached the list"
read -r x y w h <<<"$(last_mark focus)"
before=$(marks focus)
xdotool mousemove $((x + w / 3)) $((y + 82 + 40)) click 1
wait_for_effect "the list row took the focus and gave it to nothing" more_focus_marks_than "$before"
wait_for_effect "the opened row did not focus the display" focus_is readerRSVPDisplay
wait_for_effect "the row's reading plays before Space" not_playing
xdotool mousemove $((X + 4)) $((Y + 400))
toggle_with_space "after opening a row of the list"
shot 7-row-playing
toggle_with_space "to pause the row's reading"

printf '散歩の記録\n\n今日は川沿いを歩いた。水の音が静かに聞こえた。\n' >"$files/walk.txt"
before=$(marks focus)
key_doing ctrl+o "Ctrl+O opened no file panel" file_panel_in_front
choose_in_file_panel "$files/walk.txt"
focus_moved_to_display() { more_focus_marks_than "$before" && focus_is readerRSVPDisplay; }
wait_for_effect "the chosen file did not focus the display" focus_moved_to_display
wait_for_effect "the chosen file was not opened" not_playing
# The panel hands the focus back as it closes: a key sent meanwhile can be lost on its way, and is pressed again.
key_doing ctrl+Return "Ctrl+Return did not play the chosen file" status_is playing
shot 8-file-playing
key_doing ctrl+Return "Ctrl+Return did not pause the chosen file" not_playing

key_reaching ctrl+q
wait_for_quit "$pid"
echo "sample button focused, Tab walked ${#walk[@]} stops in screen order, Space played after every click, import and row, Ctrl+Shift+Up raised $speed to $raised"
