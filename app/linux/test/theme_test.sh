#!/usr/bin/env bash
# Screenshot test of the window's colours under a GTK desktop theme (run
# under xvfb-run): a file is dragged onto the list from drag_source, then the
# contrast between text and background is measured on screenshots of the
# menu, the three check box captions, a list entry before and after it is
# selected, and the help message box.
# Usage: theme_test.sh light|dark PATH/TO/kestrova PATH/TO/drag_source
# (Qt's GTK theme tells only light from dark: a GTK high-contrast theme gives
# Qt the light palette, so high contrast is left to the widget test.)
# With KESTROVA_SCREENSHOT_DIR set, the window is saved there as window-THEME.png.
set -uo pipefail

theme=$1
program=$2
drag_source=$3
case $theme in
  light) gtk_theme=Adwaita ;;
  dark) gtk_theme=Adwaita:dark ;;
  *)
    echo "unknown theme $theme" >&2
    exit 2
    ;;
esac
export QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=$gtk_theme

work=$(mktemp -d)
pids=()
# The program's clipboard worker outlives the process started here; anything
# still running from the scratch folder is this test's own.
trap 'kill "${pids[@]}" 2>/dev/null; pkill -f "$work/" 2>/dev/null; rm -rf "$work"' EXIT
source "$(dirname "$0")/../../../tests/lib.sh" || exit 1

# geometry WINDOW: sets x, y, width, height
geometry() {
  eval "$(xdotool getwindowgeometry --shell "$1" | sed -n 's/^\([XY]\)=/\L\1=/p; s/^WIDTH=/width=/p; s/^HEIGHT=/height=/p')"
}

# legible NAME X Y W H: the contrast in that rectangle of the latest shot
legible() {
  local name=$1 ratio
  shift
  ratio=$(contrast "$work/shot.png" "$@")
  echo "$theme: $name contrast $ratio"
  check "$name legible on the $theme theme (contrast $ratio)" awk -v r="$ratio" 'BEGIN { exit !(r >= 4.5) }'
}

shot() { import -window root "$work/shot.png"; }

mkdir "$work/app"
copy_program "$program" "$work/app"
"$work/app/kestrova" &
pids+=($!)
win=$(wait_window 'Kestrova  kestrova   Version:2.6.1')
check "window appears" test -n "$win" || exit 1
xdotool windowmove --sync "$win" 0 0
geometry "$win"
# The client area is 262 pixels high as designed; the menu bar comes on top.
menu=$((height - 262))
file="$work/a file dropped onto the list.txt"
touch "$file"

"$drag_source" "$file" >"$work/drag.out" &
pids+=($!)
source_win=$(wait_window 'drag_source')
check "drag source appears" test -n "$source_win" || exit 1
drag_onto_list "$source_win" "$menu" "$work/drag.out"
check "the list takes the drop as a copy" wait_for grep -q copied "$work/drag.out"
sleep 0.5
shot

# Regions in window coordinates (the window sits at 0,0): the captions leave
# out the check mark's box, which follows the theme on its own.
legible "menu bar" 0 0 110 $((menu - 2))
legible "Check_CRLF caption" 36 $((menu + 32)) 85 17
legible "Check_drive caption" 164 $((menu + 32)) 101 17
legible "Check_TAG caption" 308 $((menu + 32)) 141 17
legible "list entry" 11 $((menu + 83)) 220 14

# Selecting the entry copies it, which also shows the drop really reached
# the list.
xdotool mousemove --sync 100 $((menu + 90)) click 1
clipboard_is() { test "$(clipboard)" = "$1"; }
check "the dropped file is the list's entry" wait_for clipboard_is "$(printf '<%s>\r\n' "$file")"
sleep 0.3
shot
legible "selected list entry" 11 $((menu + 83)) 220 14
if [ -n "${KESTROVA_SCREENSHOT_DIR:-}" ]; then
  convert "$work/shot.png" -crop "${width}x${height}+0+0" +repage "$KESTROVA_SCREENSHOT_DIR/window-$theme.png"
fi

xdotool mousemove --sync 15 $((menu / 2)) click 1
box=$(wait_window kestrova)
check "HELP shows its message" test -n "$box" || exit 1
sleep 0.3
geometry "$box"
shot
# The five lines of text, above the button.
legible "message box" $((x + 8)) $((y + 8)) $((width - 16)) $((height - 60))
# The box follows the theme whole: it must really be in force, or a dark run
# would pass on light colours.
lightness=$(convert "$work/shot.png" -crop "${width}x$((height - 60))+$x+$y" -colorspace Gray -format '%[fx:int(100*mean)]' info:)
check "the $theme GTK theme reaches Qt (lightness $lightness)" test "$lightness" "$([ "$theme" = dark ] && echo -lt || echo -gt)" 50
xdotool windowfocus --sync "$box" key Return 2>/dev/null

finish_checks "theme_${theme}"
