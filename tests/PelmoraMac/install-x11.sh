#!/usr/bin/env bash
# install-x11.sh SOURCE BUILD
#
# The installed application (run under scripts/with-xvfb --openbox, which gives it fresh user folders):
# `make install`'s step into a temporary prefix that already holds an empty bin/ and a file of its own,
# its bin folder not on PATH; the desktop entry passes desktop-file-validate, names the window's class,
# the icon installed under share/icons/hicolor (SVG and 256-pixel PNG) and the executable by its full
# path; the AppStream metainfo passes appstreamcli's strict validation; the executable has no run path
# into the source or build folder; started as the entry's Exec line, from another working directory with
# a PATH without the prefix, it shows one window "Tavrine" carrying an icon, maps and opens nothing under
# the source or build folder, and quits on Ctrl+Q with status 0. Then `make uninstall`'s step leaves the
# prefix as it was; without the build folder it removes nothing and says what it takes. Installed into a
# prefix whose bin folder is on PATH, the entry says "tavrine"; into one whose path needs quoting, a quoted
# and escaped full path. Skipped (77) without desktop-file-validate
# or appstreamcli.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/x11-reader-lib.sh"
source=$(realpath -e "$1")
build=$(realpath -e "$2")
entry_name=org.tavrine.Tavrine.desktop

command -v desktop-file-validate >/dev/null || {
  echo "install-x11: desktop-file-validate is not installed (desktop-file-utils, scripts/install-deps)"
  exit 77
}
command -v appstreamcli >/dev/null || {
  echo "install-x11: appstreamcli is not installed (appstream, scripts/install-deps)"
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

# PATH without any folder of the temporary prefixes, as a desktop session that never heard of them has it.
path_without() {
  local entry kept=""
  IFS=: read -ra entries <<<"$PATH"
  for entry in "${entries[@]}"; do
    case "$entry" in "$work"*) ;; *) kept=${kept:+$kept:}$entry ;; esac
  done
  echo "$kept"
}
PATH=$(path_without)

# ---- Install ----
"$source/scripts/install-app" install "$build" "$prefix" >/dev/null
binary="$prefix/bin/tavrine"
entry="$prefix/share/applications/$entry_name"
[ -x "$binary" ] || fail "no executable $binary"
[ -f "$entry" ] || fail "no desktop entry $entry"
validation=$(desktop-file-validate "$entry" 2>&1) || fail "the desktop entry is not valid: $validation"
value() { sed -n "s/^$1=//p" "${2:-$entry}"; }
[ "$(value Name)" = Tavrine ] || fail "the entry's name is '$(value Name)'"
[ "$(value Type)" = Application ] || fail "the entry's type is '$(value Type)'"
[ "$(value Categories)" = "Office;Viewer;" ] || fail "the entry's categories are '$(value Categories)'"
exec_line=$(value Exec)
[ "$exec_line" = "$binary" ] || fail "the entry's Exec line is '$exec_line', not the full path $binary"

# The icon the entry names, as the icon theme looks it up, and the metainfo.
icon=$(value Icon)
[ "$icon" = org.tavrine.Tavrine ] || fail "the entry's icon is '$icon'"
svg="$prefix/share/icons/hicolor/scalable/apps/$icon.svg"
png="$prefix/share/icons/hicolor/256x256/apps/$icon.png"
[ -f "$svg" ] || fail "no scalable icon $svg"
grep -q '<svg' "$svg" || fail "$svg is not an SVG drawing"
# A PNG's signature, then its header chunk with the width and height (big-endian, bytes 16 to 23).
[ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$png is not a PNG image"
[ "$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ' | sed 's/^ //')" = "0 0 1 0 0 0 1 0" ] || fail "$png is not 256×256"
metainfo="$prefix/share/metainfo/org.tavrine.Tavrine.metainfo.xml"
[ -f "$metainfo" ] || fail "no metainfo $metainfo"
validation=$(cd "$work" && appstreamcli validate --no-net --strict "$metainfo" 2>&1) ||
  fail "the metainfo is not valid: $validation"
grep -q '<launchable type="desktop-id">'"$entry_name"'</launchable>' "$metainfo" ||
  fail "the metainfo does not name the desktop entry"
grep -q '<summary xml:lang="ja">' "$metainfo" || fail "the metainfo has no Japanese summary"
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
  exec "$exec_line"
}
launch &
pid=$!
[ -n "$pid" ] || fail "the program did not start"
program_window() { xdotool search --onlyvisible --pid "$pid" --name '^Tavrine$' 2>/dev/null; }
within_limit program_window >/dev/null || { kill -KILL "$pid" 2>/dev/null; fail "no window titled Tavrine appeared"; }
window=$(program_window)
[ "$(echo "$window" | wc -l)" = 1 ] || fail "more than one window: $window"
[ "$(readlink "/proc/$pid/exe")" = "$binary" ] || fail "the process runs $(readlink "/proc/$pid/exe")"
# WM_CLASS(STRING) = "tavrine", "Tavrine": the class is what StartupWMClass names.
class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*= *"[^"]*", *"\([^"]*\)".*/\1/p')
[ "$class" = "$(value StartupWMClass)" ] || fail "the window's class '$class' is not the entry's '$(value StartupWMClass)'"
# The window's icon, as a panel or a task switcher reads it: the application's, from 16 to 128 pixels.
icons=$(xprop -id "$window" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | tr '\n' ' ' || true)
for size in 16 48 128; do
  case "$icons" in *"Icon ($size x $size)"*) ;; *) fail "the window carries no icon of $size pixels: ${icons:-none}" ;; esac
done

# Started: painted, and idle after it (the trace file this script's library names is in its environment).
wait_for_mark '^idle '
inside() { grep -F -e "$source/" -e "$build/" || true; }
mapped=$(inside <"/proc/$pid/maps")
[ -z "$mapped" ] || fail "the installed program maps files of the project: $mapped"
opened=$(for fd in "/proc/$pid/fd/"*; do readlink "$fd" || true; done | inside)
[ -z "$opened" ] || fail "the installed program holds files of the project open: $opened"

activate_window "$window"
key_reaching ctrl+q
within_seconds "$effect_seconds" has_ended "$pid" || { kill -KILL "$pid"; fail "Ctrl+Q did not end the installed program"; }
status=0
wait "$pid" || status=$?
[ "$status" = 0 ] || fail "the installed program ended with status $status"
echo "installed: entry and metainfo valid, icon installed, Exec by full path, window class $class and icon,"
echo "nothing of the project mapped or opened, Ctrl+Q quit"

# ---- Uninstall ----
"$source/scripts/install-app" uninstall "$build" "$prefix" >/dev/null
after=$(listing)
[ "$before" = "$after" ] || fail "the prefix changed: $(diff <(echo "$before") <(echo "$after") || true)"
if "$source/scripts/install-app" uninstall "$build" "$prefix" 2>/dev/null; then
  fail "a second uninstall claimed to remove something"
fi
echo "uninstalled: the prefix is as it was"

# ---- Where the entry may say "tavrine", and where the full path needs quoting ----
on_path="$work/on path"
PATH="$on_path/bin:$PATH" "$source/scripts/install-app" install "$build" "$on_path" >/dev/null
[ "$(value Exec "$on_path/share/applications/$entry_name")" = tavrine ] ||
  fail "installed with its bin folder on PATH, the entry's Exec line is '$(value Exec "$on_path/share/applications/$entry_name")'"
# Without the build folder that installed (`make clean` removes it), uninstall removes nothing and says
# what it takes.
said=$("$source/scripts/install-app" uninstall "$work/cleaned build" "$on_path" 2>&1) &&
  fail "an uninstall without its build folder claimed to succeed"
case "$said" in *"make install PREFIX=$on_path"*) ;; *) fail "an uninstall without its build folder said: $said" ;; esac
[ -x "$on_path/bin/tavrine" ] || fail "an uninstall without its build folder removed the program"
"$source/scripts/install-app" uninstall "$build" "$on_path" >/dev/null
odd="$work/a \$b \"c\" 100%"
"$source/scripts/install-app" install "$build" "$odd" >/dev/null
odd_entry="$odd/share/applications/$entry_name"
validation=$(desktop-file-validate "$odd_entry" 2>&1) || fail "the entry under '$odd' is not valid: $validation"
expected="\"$work/a \\\\\$b \\\\\"c\\\\\" 100%%/bin/tavrine\""
[ "$(value Exec "$odd_entry")" = "$expected" ] ||
  fail "under '$odd' the entry's Exec line is '$(value Exec "$odd_entry")', not '$expected'"
"$source/scripts/install-app" uninstall "$build" "$odd" >/dev/null
echo "Exec: tavrine with the prefix on PATH, a quoted full path under $odd"
