#!/usr/bin/env bash
# reader-sample-x11.sh TAVRINE X11-SCREENSHOT ARTIFACTS
#
# The real executable on an X display with a window manager (run under scripts/with-xvfb --openbox, which
# gives it fresh user folders): the start view's "サンプルで試す" button, clicked, opens the sample paused;
# Space starts it (the phrases change on screen) and Space again pauses it (they stop changing); Ctrl+Q
# quits and the sample is in the stored history under its title. Screenshots of each step are kept.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
reader_script reader-sample "$@"
store="$XDG_DATA_HOME/org.tavrine.Tavrine/reading-store.json"

launch_reader "$tavrine"
activate_window "$window"
shot 1-start
eval "$(xdotool getwindowgeometry --shell "$window")"

# The button heads the start view's column, which stands in the middle of the reader column (the whole
# width while the list is hidden, below the toolbar): its centre lies about 30 pixels above the window's.
# Opened once the display takes the focus, shown once the screen comes to rest.
open_sample_at $((X + WIDTH / 2)) $((Y + HEIGHT / 2 - 30))
xdotool mousemove $((X + 4)) $((Y + HEIGHT - 4))
wait_for "the opened sample never came to rest" screen_is_still 0.6
shot 2-opened
screen_changes 0.6 && fail "the sample plays before Space was pressed"

# The player's start delay, then phrases at the default speed.
key_doing space "Space did not start the sample" status_is playing
wait_for "Space started the sample, but the screen stands still" screen_changes 0.6
shot 3-playing

key_doing space "Space did not pause the sample" status_is paused
screen_changes 0.6 && fail "Space paused the sample, but the screen still changes"
shot 4-paused

key_reaching ctrl+q
wait_for_quit "$pid"
grep -q 'サンプル：朝の散歩' "$store" || fail "the sample is not in the stored history"
echo "sample opened by its button, Space started and paused it, stored under its title"
