#!/usr/bin/env bash
# source-pane-x11.sh TAVRINE X11-SCREENSHOT ARTIFACTS
#
# The real executable on an X display with a window manager (run under scripts/with-xvfb --openbox, which
# gives it fresh user folders), worked as a new user would: the start view's "サンプルで試す" opens the
# sample beside its source pane; a click in the text puts the keyboard focus there without playing; Space
# plays and the highlighted phrase moves through the text; a click in the text pauses; Ctrl+F opens the
# find field, which takes a query. Screenshots of each step are kept.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
tavrine=$1
screenshot=$2
artifacts=$3
mkdir -p "$artifacts"

launch_reader "$tavrine"
activate_window "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 720 ] && [ "$HEIGHT" = 720 ] || fail "the window is ${WIDTH}×${HEIGHT}, not 720×720"
# In the 720×720 window, under the menu bar, the source pane fills the column's lower part under its
# tool row.
pane=($((X + 30)) $((Y + 455)) $((WIDTH - 60)) 210)
screen=(0 0 $((X + WIDTH)) $((Y + HEIGHT)))

# The start view's "サンプルで試す", a little above the middle of the reader column.
# Opened once the display takes the focus, shown once the screen comes to rest.
open_sample_at $((X + WIDTH / 2)) $((Y + HEIGHT / 2 - 30))
wait_for "the opened sample never came to rest" screen_is_still 0.6 "${screen[@]}"
# The first line of the text: the caret goes to its start (the text takes the focus), and the player
# stays paused.
xdotool mousemove $((X + 40)) $((Y + 462)) click 1
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
wait_for "a click in the text did not give it the focus" focus_is 読む文章
"$screenshot" "$artifacts/source-pane-opened.png"
screen_changes 0.6 "${screen[@]}" && fail "the sample plays before Space was pressed"

key_doing space "Space in the source pane did not play" status_is playing
wait_for "the highlight did not follow the playing phrase" screen_changes 0.8 "${pane[@]}"
"$screenshot" "$artifacts/source-pane-playing.png"

xdotool mousemove $((X + 40)) $((Y + 495)) click 1
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
wait_for "a click in the source pane did not pause" status_is paused
screen_changes 0.8 "${screen[@]}" && fail "a click in the source pane paused, but the screen still changes"

# Ctrl+F opens the find field in the tool row above the pane.
row=(0 $((Y + 394)) $((X + WIDTH)) 36)
"$screenshot" "$artifacts/source-pane-row.png" "${row[@]}"
key_doing ctrl+f "Ctrl+F did not focus the find field" focus_is readerDocumentSearch
row_changed() {
  "$screenshot" "$artifacts/source-pane-row-find.png" "${row[@]}"
  ! cmp -s "$artifacts/source-pane-row.png" "$artifacts/source-pane-row-find.png"
}
wait_for "the find field did not open in the tool row" row_changed
xdotool type --delay 50 "道"
key_reaching Return
# The pane alone: the find field's caret blinks, and on a loaded machine two screenshots of the whole
# screen always fall on either side of a blink.
wait_for_effect "the found text did not come to rest" screen_is_still 0.3 "${pane[@]}"
"$screenshot" "$artifacts/source-pane-find.png"
rm -f "$artifacts/source-pane-row.png" "$artifacts/source-pane-row-find.png"

key_reaching ctrl+q
wait_for_quit "$pid"
echo "the sample opened beside its source pane; Space in the pane played with the highlight following, a click paused, the find field opened"
