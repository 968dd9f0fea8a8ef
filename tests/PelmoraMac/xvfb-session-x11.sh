#!/usr/bin/env bash
# xvfb-session-x11.sh (run under scripts/with-xvfb): the session the script gives a test is its own, down to
# what its bus starts on demand. The accessibility bus's launcher, started by the session bus when a program
# asks for it first, must put its socket in the session's runtime folder: in the user's own folders, tests run
# side by side would share one socket and take it from each other. Skipped (77) without the launcher.
set -euo pipefail
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "at-spi-bus-launcher is not installed" >&2; exit 77; }
address=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus --method org.a11y.Bus.GetAddress)
case "$address" in
  *"unix:path=$XDG_RUNTIME_DIR/"*) echo "the accessibility bus started on demand listens in the session's folder" ;;
  *) echo "the accessibility bus started on demand listens outside the session ($XDG_RUNTIME_DIR): $address" >&2
     exit 1 ;;
esac
