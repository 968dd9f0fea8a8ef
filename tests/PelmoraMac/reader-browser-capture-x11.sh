#!/usr/bin/env bash
# reader-browser-capture-x11.sh TAVRINE X11-SCREENSHOT READING-STORE-HISTORY ARTIFACTS
#
# The real program capturing from Debian's chromium as its user would, on an X display with openbox (run
# under scripts/with-xvfb --openbox, which gives it fresh data and configuration folders and a session bus
# of its own), with the session's accessibility on and Tavrine allowed to read the browser's pages. The
# browser is started twice, as the README tells people to start it: with remote debugging only, and with
# its renderer's accessibility forced as well. In each, with the capture hot key (Meta+Ctrl+Alt+R):
# - a password field's text selected by a double click, and by Ctrl+A in the field, and a text field that the
#   page masks (-webkit-text-security, autocomplete="current-password") selected by Ctrl+A: the capture ends as
#   protectedField, nothing is read;
# - a triple-clicked paragraph: the capture succeeds, and its reading is that paragraph's text.
# Then, tavrine quit: the history holds the two paragraphs and nothing else, and no file of the data or
# configuration folders holds the password. Screenshots in ARTIFACTS. Skipped (77) without chromium.
set -euo pipefail
tavrine=$1
screenshot=$2
history_tool=$3
artifacts=$4
mkdir -p "$artifacts"
export XCTestConfigurationFilePath=/dev/null
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
command -v chromium >/dev/null || { echo "$script_name: chromium is not installed" >&2; exit 77; }

make_browser_work

password=hunter2secret
paragraph="The paragraph that a triple click selects, and nothing around it."
store="$XDG_DATA_HOME/org.tavrine.Tavrine/reading-store.json"
export TAVRINE_TRACE_FILE="$work/trace"

# The session's accessibility bus, on before any application starts (they show themselves on it only then).
start_accessibility_bus

# The user has allowed Tavrine to read Chromium's pages.
mkdir -p "$XDG_CONFIG_HOME/org.tavrine.Tavrine"
printf '{"reader.linux.browserConsent.chromium": true}\n' \
  >"$XDG_CONFIG_HOME/org.tavrine.Tavrine/defaults.json"

# A page whose elements stand where the script clicks; its title tells how far below the top of the
# browser's window the page begins, how many clicks it has had, how many characters are selected in it (in
# the focused field, else in the page) and which field has the focus: "Capture page OFFSET
# CLICKS SELECTED password|masked|page".
cat >"$work/page.html" <<EOF
<!DOCTYPE html><html><head><title>Capture page</title><script>
let clicks = 0;
function selected() {
  const field = document.activeElement;
  if (field && field.tagName === "INPUT") return field.selectionEnd - field.selectionStart;
  return String(getSelection()).length;
}
function focused() {
  const id = document.activeElement ? document.activeElement.id : "";
  return id === "secret" ? "password" : id === "masked" ? "masked" : "page";
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
<h1 style="position:absolute;left:20px;top:0;margin:0;font-size:20px">A heading above the paragraph</h1>
<p id="paragraph" style="position:absolute;left:20px;top:60px;width:700px;margin:0;font-size:16px">$paragraph</p>
<p style="position:absolute;left:20px;top:100px;width:700px;margin:0;font-size:16px">Another paragraph below it.</p>
<input id="secret" type="password" value="$password" style="position:absolute;left:20px;top:160px;width:300px;height:30px">
<input id="masked" type="text" autocomplete="current-password" value="$password" style="-webkit-text-security:disc;position:absolute;left:360px;top:160px;width:300px;height:30px">
</body></html>
EOF

launch_reader "$tavrine"
reader=$window

# The marks of the capture's outcome ("capture ...") and of a reading the player took ("status ...").
outcome_marks() { grep -c -E '^(capture|status) ' "$TAVRINE_TRACE_FILE" 2>/dev/null || true; }

# How many times the store file holds the paragraph: a reading of it kept adds to them.
stored_paragraphs() { { grep -o -F -- "$paragraph" "$store" 2>/dev/null || true; } | wc -l; }
more_stored_than() { [ "$(stored_paragraphs)" -gt "$1" ]; }

# The page's title, word by word: 3 the offset, 4 the clicks, 5 the characters selected, 6 what has the
# focus.
password_selected() { [ "$(page_says 6)" = password ] && [ "$(page_says 5)" -gt 0 ]; }
password_focused() { [ "$(page_says 6)" = password ] && [ "$(page_says 5)" = 0 ]; }
masked_focused() { [ "$(page_says 6)" = masked ] && [ "$(page_says 5)" = 0 ]; }
nothing_selected() { [ "$(page_says 6)" = page ] && [ "$(page_says 5)" = 0 ]; }
paragraph_selected() { [ "$(page_says 6)" = page ] && [ "$(page_says 5)" -ge ${#paragraph} ]; }

# Presses the capture hot key with the browser in front and waits for what it did.
capture() {
  local before
  before=$(outcome_marks)
  activate_window "$browser"
  wait_for "the browser is not in front ($1)" is_active "$browser"
  hotkey_reaching ctrl+super+alt+r
  wait_for_mark '^(capture|status) ' $((before + 1))
}

for mode in remote-debugging forced-accessibility; do
  arguments=(--no-first-run --no-default-browser-check --disable-gpu --disable-background-networking
    --disable-component-update --disable-sync --disable-crash-reporter
    --remote-debugging-port=0 "--user-data-dir=$work/profile-$mode")
  [ "$mode" = forced-accessibility ] && arguments+=(--force-renderer-accessibility)
  [ "$(id -u)" = 0 ] && arguments+=(--no-sandbox)
  chromium "${arguments[@]}" "file://$work/page.html" >/dev/null 2>&1 &
  browser_pid=$!
  browser=$(wait_for_window '^Capture page [0-9]' "the capture page ($mode)")
  activate_window "$browser"
  wait_for "the browser did not come to the front ($mode)" is_active "$browser"
  # Listening for remote debugging once it has written its port into the profile.
  wait_for "the browser does not listen ($mode)" test -s "$work/profile-$mode/DevToolsActivePort"

  click_page 100 175 2 password_selected
  capture "double-clicked password, $mode"
  "$screenshot" "$artifacts/reader-browser-capture-$mode-1-password.png"
  [ "$(last_capture)" = protectedField ] || fail "a double-clicked password gave $(last_capture) ($mode)"

  activate_window "$browser"
  click_page 600 120 1 nothing_selected
  click_page 100 175 1 password_focused
  xdotool key ctrl+a
  wait_for "Ctrl+A did not select the password ($mode)" page_selects ${#password}
  capture "password selected with Ctrl+A, $mode"
  [ "$(last_capture)" = protectedField ] || fail "a password selected with Ctrl+A gave $(last_capture) ($mode)"

  activate_window "$browser"
  click_page 600 120 1 nothing_selected
  click_page 400 175 1 masked_focused
  xdotool key ctrl+a
  wait_for "Ctrl+A did not select the masked field ($mode)" page_selects ${#password}
  capture "masked field selected with Ctrl+A, $mode"
  "$screenshot" "$artifacts/reader-browser-capture-$mode-1-masked.png"
  [ "$(last_capture)" = protectedField ] || fail "a masked field selected with Ctrl+A gave $(last_capture) ($mode)"

  activate_window "$browser"
  kept=$(stored_paragraphs)
  click_page 100 68 3 paragraph_selected
  capture "triple-clicked paragraph, $mode"
  "$screenshot" "$artifacts/reader-browser-capture-$mode-2-paragraph.png"
  [ "$(last_capture)" = succeeded ] || fail "a triple-clicked paragraph gave $(last_capture) ($mode)"
  wait_for "the paragraph's reading was not stored ($mode)" more_stored_than "$kept"

  end_browser
done

activate_window "$reader"
key_reaching ctrl+q
wait_for_quit "$pid"
pid=""

lines=$("$history_tool" "$store") || fail "the store cannot be opened"
[ "$(echo "$lines" | wc -l)" -eq 2 ] || fail "the history is not the two paragraphs: $lines"
while read -r _ length _ text; do
  [ "$text" = "${paragraph:0:40}" ] || fail "a reading is not the paragraph: $text"
  [ "$length" -eq ${#paragraph} ] || fail "a reading of $length units is not the paragraph alone: $text"
done <<<"$lines"
found=$(grep -rl -- "$password" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME/org.tavrine.Tavrine" 2>/dev/null || true)
[ -z "$found" ] || fail "the password is in $found"
echo "both ways of starting chromium: the password refused after a double click and after Ctrl+A, the masked field refused, the paragraph read alone; the password in no file"
