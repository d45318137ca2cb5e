#!/usr/bin/env bash
# The right-click entries in a real file manager (run under xvfb-run and
# dbus-run-session): Kestrova installed into a scratch prefix, the file
# manager started on a folder with a file and a folder, both selected, the
# context menu opened from the keyboard, "Copy path" and then "Copy file
# name" chosen through the accessibility bus, the clipboard read from
# another process. Skips (77) when the file manager is not installed.
# Usage: file_manager_test.sh BUILD_FOLDER pcmanfm|nemo
set -uo pipefail

build=$1
manager=$2
command -v "$manager" >/dev/null || { echo "SKIP: $manager is not installed"; exit 77; }
work=$(mktemp -d)
pids=()
cleanup() {
  echo other | xclip -selection clipboard  # the program's worker ends when its copy is gone
  kill "${pids[@]}" 2>/dev/null
  wait "${pids[@]}" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/../tests/lib.sh"

prefix="$work/usr"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; exit 1; }
# The program's folder is writable here, so its settings lie beside it.
printf 'TAG-SET=YES\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n' >"$prefix/bin/kestrova.ini"
export PATH="$prefix/bin:$PATH" XDG_DATA_DIRS="$prefix/share:/usr/share" HOME="$work/home"
export XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" XDG_DATA_HOME="$work/home/.local/share"
files="$work/files"
mkdir -p "$HOME" "$files/a dir"
touch "$files/b c.final.txt"

# The menus are found by name through the accessibility bus, so neither the
# entries' places in them nor the file manager's own items matter.
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
pids+=($!)
# PCManFM names an action's item after its tooltip rather than its label.
choose() {  # choose NAME TOOLTIP: activates the showing menu item of that entry
  /usr/bin/python3 - "$manager" "$@" <<'PY'
import sys, time
import pyatspi
manager, names = sys.argv[1], sys.argv[2:]
def wanted(node):
    return (node is not None and node.getRoleName() == "menu item" and node.name in names
            and node.getState().contains(pyatspi.STATE_SHOWING))
for _ in range(50):
    for app in pyatspi.Registry.getDesktop(0):
        found = app is not None and app.name == manager and pyatspi.findDescendant(app, wanted)
        if found:
            found.queryAction().doAction(0)
            sys.exit(0)
    time.sleep(0.2)
sys.exit(1)
PY
}
context_menu() {  # selects everything in the window $1 and opens the selection's menu
  xdotool windowfocus --sync "$1" key ctrl+a 2>/dev/null && sleep 0.3 && xdotool key shift+F10
}
box() {  # the message box's window, failing while there is none
  local found
  found=$(xdotool search --onlyvisible --name '^kestrova$' 2>/dev/null | head -n 1)
  [ -n "$found" ] && echo "$found"
}
clipboard_is() { test "$(clipboard)" = "$1"; }

case $manager in
  nemo) nemo --no-desktop "$files" >"$work/manager.log" 2>&1 & ;;
  # GTK 2 reaches the accessibility bus only through these modules.
  pcmanfm) GTK_MODULES=gail:atk-bridge pcmanfm "$files" >"$work/manager.log" 2>&1 & ;;
  *) "$manager" "$files" >"$work/manager.log" 2>&1 & ;;
esac
pids+=($!)
window=$(wait_for xdotool search --onlyvisible --pid "${pids[-1]}" 2>/dev/null | head -n 1)
check "$manager: window comes up" test -n "$window" || { cat "$work/manager.log" >&2; exit 1; }
sleep 1  # the folder is read after the window shows

context_menu "$window"
check "$manager: Copy path in the menu" choose "Copy path" "Copy the full paths of the selection to the clipboard"
shown=$(wait_for box)
check "$manager: Copy path shows the box" test -n "$shown"
check "$manager: both paths, one a line, each edited" wait_for clipboard_is \
  "$(printf '<%s>\r\n<%s>' "$files/a dir" "$files/b c.final.txt")"
[ -n "$shown" ] && xdotool windowfocus --sync "$shown" key Return 2>/dev/null

context_menu "$window"
check "$manager: Copy file name in the menu" choose "Copy file name" "Copy the names of the selection, without folder and extension"
check "$manager: both names, one a line" wait_for clipboard_is "$(printf 'a dir\r\nb c.final')"
check "$manager: no box for names" test -z "$(box)"

finish_checks "file_manager_$manager"
