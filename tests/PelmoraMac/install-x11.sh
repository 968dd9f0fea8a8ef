#!/usr/bin/env bash
# install-x11.sh SOURCE BUILD
#
# The installed application (run under scripts/with-xvfb --openbox, which gives it fresh user folders):
# `make install`'s step into a temporary prefix that already holds an empty bin/ and a file of its own;
# the desktop entry passes desktop-file-validate and names the window's class; the executable has no
# run path into the source or build folder; started as the entry's Exec line, from another working
# directory, it shows one window "Tavrine", maps and opens nothing under the source or build folder, and
# quits on Ctrl+Q with status 0. Then `make uninstall`'s step leaves the prefix as it was. Skipped (77)
# without desktop-file-validate.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
source=$(realpath -e "$1")
build=$(realpath -e "$2")
entry_name=org.tavrine.Tavrine.desktop

command -v desktop-file-validate >/dev/null || {
  echo "install-x11: desktop-file-validate is not installed (desktop-file-utils, scripts/install-deps)"
  exit 77
}

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrine-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
mkdir -p "$prefix/bin" "$work/elsewhere"
echo kept >"$prefix/notes.txt"
case "$prefix/" in "$source"/* | "$build"/*) fail "the temporary prefix $prefix lies in the source or build folder" ;; esac
listing() { (cd "$prefix" && find . -printf '%y %p\n' | sort); }
before=$(listing)

# ---- Install ----
"$source/scripts/install-app" install "$build" "$prefix" >/dev/null
binary="$prefix/bin/tavrine"
entry="$prefix/share/applications/$entry_name"
[ -x "$binary" ] || fail "no executable $binary"
[ -f "$entry" ] || fail "no desktop entry $entry"
validation=$(desktop-file-validate "$entry" 2>&1) || fail "the desktop entry is not valid: $validation"
value() { sed -n "s/^$1=//p" "$entry"; }
[ "$(value Name)" = Tavrine ] || fail "the entry's name is '$(value Name)'"
[ "$(value Type)" = Application ] || fail "the entry's type is '$(value Type)'"
[ "$(value Categories)" = "Office;Viewer;" ] || fail "the entry's categories are '$(value Categories)'"
exec_line=$(value Exec)
[ "$exec_line" = tavrine ] || fail "the entry's Exec line is '$exec_line'"
runpath=$(readelf -d "$binary" | grep -E 'RPATH|RUNPATH' || true)
case "$runpath" in *"$source"* | *"$build"*) fail "the executable's run path leads into the project: $runpath" ;; esac

# ---- Start it as the desktop would, from elsewhere ----
# Without the descriptors this script inherited (CTest's log among them): what the program holds open
# is its own.
launch() {
  local fd
  for fd in "/proc/$BASHPID/fd/"*; do
    fd=${fd##*/}
    [ "$fd" -gt 2 ] && eval "exec $fd>&-" 2>/dev/null
  done
  cd "$work/elsewhere"
  PATH="$prefix/bin:$PATH" exec "$exec_line"
}
launch &
pid=$!
[ -n "$pid" ] || fail "the program did not start"
window=""
for _ in $(seq 1 200); do
  window=$(xdotool search --onlyvisible --pid "$pid" --name '^Tavrine$' 2>/dev/null || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { kill -KILL "$pid" 2>/dev/null; fail "no window titled Tavrine appeared"; }
[ "$(echo "$window" | wc -l)" = 1 ] || fail "more than one window: $window"
[ "$(readlink "/proc/$pid/exe")" = "$binary" ] || fail "the process runs $(readlink "/proc/$pid/exe")"
# WM_CLASS(STRING) = "tavrine", "Tavrine": the class is what StartupWMClass names.
class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*= *"[^"]*", *"\([^"]*\)".*/\1/p')
[ "$class" = "$(value StartupWMClass)" ] || fail "the window's class '$class' is not the entry's '$(value StartupWMClass)'"

sleep 1
inside() { grep -F -e "$source/" -e "$build/" || true; }
mapped=$(inside <"/proc/$pid/maps")
[ -z "$mapped" ] || fail "the installed program maps files of the project: $mapped"
opened=$(for fd in "/proc/$pid/fd/"*; do readlink "$fd" || true; done | inside)
[ -z "$opened" ] || fail "the installed program holds files of the project open: $opened"

activate_window "$window"
xdotool key --clearmodifiers ctrl+q
for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && { kill -KILL "$pid"; fail "Ctrl+Q did not end the installed program"; }
status=0
wait "$pid" || status=$?
[ "$status" = 0 ] || fail "the installed program ended with status $status"
echo "installed: entry valid, window class $class, nothing of the project mapped or opened, Ctrl+Q quit"

# ---- Uninstall ----
"$source/scripts/install-app" uninstall "$build" "$prefix" >/dev/null
after=$(listing)
[ "$before" = "$after" ] || fail "the prefix changed: $(diff <(echo "$before") <(echo "$after") || true)"
if "$source/scripts/install-app" uninstall "$build" "$prefix" 2>/dev/null; then
  fail "a second uninstall claimed to remove something"
fi
echo "uninstalled: the prefix is as it was"
