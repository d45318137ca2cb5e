#!/usr/bin/env bash
# End-to-end test of the Windows program under Wine, on an X server with a
# window manager (run under xvfb-run): command-line and file-name mode, a
# settings error, then the window with drops from an X11 program, clicks,
# a check box and a close by the window manager; the clipboard and message
# boxes are read from inside Wine, the settings file byte for byte.
# Usage: e2e_test.sh KESTROVA.EXE WIN_PEER.EXE LOCALE_FOLDER
set -uo pipefail

program=$1
peer_exe=$2
work=$(mktemp -d)
source "$(dirname "$0")/../../../tests/lib.sh"

# Japanese Windows: Wine's ANSI code page follows the locale (932).
export LOCPATH=$3 LANG=ja_JP.UTF-8 LC_ALL=
cleanup() {
  wine_stop
  umount "$work/full/disk" 2>/dev/null
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The drags come from the tests' X11 drag source (XDND, which Wine turns into
# an OLE drop), built here: the build folder holds only Windows programs.
c++ -std=c++17 -fPIC -O1 -o "$work/drag_source" "$(dirname "$0")/../../linux/test/drag_source.cpp" \
  $(pkg-config --cflags --libs Qt6Widgets) || exit 1
wine_prefix "$work/prefix"
start_openbox "$work/wm-ready" || { echo "FAIL: openbox did not start"; exit 1; }
# Wine keeps clipboard data after a program ends only while a Wine process runs.
wine "$peer_exe" hold &
peer() { wine "$peer_exe" "$@"; }
clip_is() {  # the exact text, CR LF and all
  local got
  got=$(peer get; echo .)
  [ "$got" = "$1." ] || { printf 'clipboard: %q\n' "${got%.}" >&2; return 1; }
}
windows_of() { xdotool search --all --onlyvisible --pid "$1" 2>/dev/null; }
# drag X Y ARGS...: drags what drag_source ARGS offers onto the screen point
# X,Y, as a hand does; succeeds when the target took it as a copy.
drag() {
  local x=$1 y=$2 source win
  shift 2
  "$work/drag_source" "$@" >"$work/drag.out" 2>/dev/null &
  source=$!
  win=$(wait_window drag_source $source) || return 1
  drag_to "$win" "$x" "$y" "$work/drag.out"
  wait_for grep -qE '^(copied|refused)$' "$work/drag.out"
  kill "$source" 2>/dev/null
  wait "$source" 2>/dev/null
  grep -qx copied "$work/drag.out"
}

dismiss() { xdotool windowactivate --sync "$1" key Return 2>/dev/null; }
gone() { ! kill -0 "$pid" 2>/dev/null; }
status=
ended() { wait "$1"; status=$?; }  # not in a subshell: only this shell can wait

# A portable copy in a folder with a space, so the program's own name comes
# quoted on its command line too.
dir="$work/Kestrova app"
mkdir -p "$dir"
cp "$program" "$dir/kestrova.exe"
sjis() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }
default_ini=$(sjis $'. 以下のようにネットワークドライブ（以下の例ではXドライブ）のパスを変更できる。DRIVE-CHG行は50個まで指定可能\r\nDRIVE-CHG=X,\\\\realpath\\\r\nDRIVE-CHG-SET=YES\r\nCRLF-SET=YES\r\nTAG-SET=YES\r\n'; echo .)

# Command-line mode: a quoted path with a space, on a mapped drive.
wine "$dir/kestrova.exe" 'X:\my dir\a.txt' &
pid=$!
box=$(wait_window kestrova $pid)
check "command line: message box" [ -n "$box" ]
check "command line: no other window" [ "$(windows_of $pid | wc -l)" = 1 ]
check "command line: message text" [ "$(peer message kestrova; echo .)" = $'CLIPBOAD COPIED=<\\\\realpath\\my dir\\a.txt>\r\n.' ]
check "command line: clipboard" clip_is $'<\\\\realpath\\my dir\\a.txt>\r\n'
dismiss "$box"
ended $pid
check "command line: status 0" [ "$status" = 0 ]
check "command line: copy kept after exit" clip_is $'<\\\\realpath\\my dir\\a.txt>\r\n'
check "default settings in code page 932" [ "$(cat "$dir/kestrova.ini"; echo .)" = "$default_ini" ]
check "backup of every line" [ "$(cat "$dir/kestrova.BAK"; echo .)" = "$default_ini" ]

# File-name mode: the bare name, no window and no message (it would block).
timeout 30 wine "$dir/kestrova.exe" '$FILENAME$' 'C:\my dir\report.final.txt'
check "file name: status 0 without a message" [ $? = 0 ]
check "file name: clipboard" clip_is 'report.final'

# Send To with several files: Explorer puts them all on one command line,
# those with a space quoted, as wine does here.
mkdir -p "$work/files/sub"
touch "$work/files/a b.txt" "$work/files/c.txt"
files=$(winepath -w "$work/files")
wine "$dir/kestrova.exe" "$files\\a b.txt" "$files\\c.txt" "$files\\sub" &
pid=$!
box=$(wait_window kestrova $pid)
check "several paths: clipboard" clip_is "$(printf '<%s>\r\n' "$files\\a b.txt" "$files\\c.txt" "$files\\sub")"$'\n'
dismiss "$box"
ended $pid
timeout 30 wine "$dir/kestrova.exe" '$FILENAME$' "$files\\a b.txt" "$files\\c.txt" "$files\\sub"
check "several names: status 0 without a message" [ $? = 0 ]
check "several names: clipboard" clip_is $'a b\r\nc\r\nsub'

# A settings error: its message, status 2, the file untouched.
bad="$work/bad"
mkdir -p "$bad"
cp "$program" "$bad/kestrova.exe"
printf 'TAG-SET=YES\r\nDRIVE-CHG=X,\r\n' >"$bad/kestrova.ini"
cp "$bad/kestrova.ini" "$work/bad.ini"
wine "$bad/kestrova.exe" 'C:\a.txt' &
pid=$!
box=$(wait_window kestrova $pid)
check "settings error: message" [ "$(peer message kestrova)" = 'DRIVE-CHGパラメタ指定誤りDRIVE-CHG=X,' ]
dismiss "$box"
ended $pid
check "settings error: status 2" [ "$status" = 2 ]
check "settings error: file unchanged" cmp -s "$bad/kestrova.ini" "$work/bad.ini"

# A full disk at start (a small tmpfs, as root): the backup cannot be
# written, so its message and status 1, nothing copied, the settings file
# untouched and nothing stray beside it.
if [ "$(id -u)" -eq 0 ]; then
  full="$work/full"
  mkdir -p "$full/disk"
  cp "$program" "$full/kestrova.exe"
  mount -t tmpfs -o size=64k tmpfs "$full/disk"
  printf 'Z:%s\\\r\n' "$(printf '%s' "$full/disk" | tr / '\\')" >"$full/ini.ini"
  printf 'DRIVE-CHG=X,\\\\realpath\\\r\nTAG-SET=NO\r\n' >"$full/disk/kestrova.ini"
  cp "$full/disk/kestrova.ini" "$work/full.ini"
  dd if=/dev/zero of="$full/disk/filler" bs=4k 2>/dev/null
  peer set other
  wine "$full/kestrova.exe" '$FILENAME$' 'C:\a.txt' &
  pid=$!
  box=$(wait_window kestrova $pid)
  message=$(peer message kestrova)
  want="cannot write Z:$(printf '%s' "$full/disk" | tr / '\\')\\kestrova.BAK: "
  check "full disk: message names the backup and a reason" [ "${message#"$want"}" != "$message" ] &&
    [ -n "${message#"$want"}" ] || echo "message: $message" >&2
  dismiss "$box"
  ended $pid
  check "full disk: status 1" [ "$status" = 1 ]
  check "full disk: nothing copied" clip_is other
  check "full disk: settings file unchanged" cmp -s "$full/disk/kestrova.ini" "$work/full.ini"
  check "full disk: nothing stray" [ "$(ls -A "$full/disk" | tr '\n' ' ')" = "filler kestrova.ini " ]
  umount "$full/disk"
else
  echo "skipped the full-disk case: mounting a tmpfs needs root" >&2
fi

# legible_window MODE [ROW]: every text of the window, shot as it is now,
# at 4.5:1 or more against its background: the menu, the three check boxes'
# captions (the glyph left out) and ROW ("NAME X Y W H", client pixels).
legible_window() {
  local mode=$1 name x y w h ratio
  import -window "$window" "$work/shot.png"
  [ -n "${KESTROVA_SCREENSHOT_DIR:-}" ] && cp "$work/shot.png" "$KESTROVA_SCREENSHOT_DIR/window-windows-$mode.png"
  while read -r name x y w h; do
    [ -n "$name" ] || continue
    ratio=$(contrast "$work/shot.png" "$x" $((menu + y)) "$w" "$h")
    check "$mode: $name legible (contrast $ratio)" awk -v r="$ratio" 'BEGIN { exit !(r >= 4.5) }'
  done <<<"menu 2 $((2 - menu)) 70 $((menu - 4))
CRLF 34 32 87 17
DRIVE-CHG 162 32 103 17
TAG 306 32 143 17
${2:-}"
}

# The window. A Shift_JIS comment must come back byte for byte.
comment=$(sjis '. 設定のメモ：ソース表示'; echo .)
comment=${comment%.}
printf '%s\r\nTAG-SET=YES\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n' "$comment" >"$dir/kestrova.ini"
mkdir -p "$work/files"
touch "$work/files/a b.txt" "$work/files/日本.txt" "$work/files/c.txt"
# Wine's loader names every module the program loads.
WINEDEBUG=-all,+loaddll wine "$dir/kestrova.exe" 2>"$work/loaded" &
pid=$!
title='Kestrova  kestrova   Version:2.6.1'
window=$(wait_window "$title" $pid)
check "window: caption" [ -n "$window" ]
# The themed common controls, which only the program's own manifest brings:
# every comctl32 loaded is the version-6 one (the names come with doubled
# backslashes).
themed_controls_only() {
  local loaded
  loaded=$(grep -i '[\\]comctl32\.dll' "$work/loaded")
  [ -n "$loaded" ] &&
    ! grep -qviE '[\\]+winsxs[\\]+[^\\]*common-controls_6595b64144ccf1df_6\.[^\\]*[\\]+comctl32\.dll' <<<"$loaded"
}
check "window: drawn by the version-6 common controls" themed_controls_only
list_name=$(peer list-name 'Kestrova  kestrova   Version:2.6.1')
peer_status=$?
check "the list's accessible name says what it holds" [ "$list_name" = 'ドロップしたファイルのパス' ] ||
  echo "win_peer list-name: status $peer_status, '$list_name'" >&2
xdotool windowmove --sync "$window" 0 0
eval "$(xdotool getwindowgeometry --shell "$window")"
# Wine's X window is the client area with the menu bar on top; the client
# area is 3930 twips (262 pixels at 96 DPI) high.
menu=$((HEIGHT - 262))
at() { echo "$1" $((menu + $2)); }  # client coordinates to the X window's
on_screen() { echo $((X + $1)) $((Y + menu + $2)); }
check "drop onto the list" drag $(on_screen 100 120) "$work/files/a b.txt" "$work/files/日本.txt" "$work/files/c.txt"
sleep 0.5
z=$(printf 'Z:%s' "$work/files" | tr / '\\')
xdotool mousemove --window "$window" $(at 60 86) click 1
sleep 0.5
check "click copies one entry" clip_is "<$z\\a b.txt>"$'\r\n'
# The third entry: 34 pixels below the list's top lies in it for entries
# from 12 to 17 pixels high.
xdotool mousemove --window "$window" $(at 60 115) keydown shift click 1 keyup shift
sleep 0.5
check "Shift-click copies the range" clip_is "<$z\\a b.txt>"$'\r\n'"<$z\\日本.txt>"$'\r\n'"<$z\\c.txt>"
legible_window light 'selected-entry 10 82 300 13'
drag $(on_screen 100 120) --text 'no files here'
box=$(wait_window kestrova $pid)
check "text drop: message" [ "$(peer message kestrova)" = '無選択です' ]
dismiss "$box"
drag $(on_screen 300 12) "$work/files/c.txt"
sleep 1
check "drop outside the list: no message" [ "$(windows_of $pid | wc -l)" = 1 ]
xdotool mousemove --window "$window" $(at 60 86) click 1
sleep 0.5
check "list unchanged by the drops without effect" clip_is "<$z\\a b.txt>"$'\r\n'
xdotool mousemove --window "$window" $(at 30 40) click 1  # Check_CRLF
sleep 0.3
# The window manager's close (openbox binds Alt+F4), which asks the window.
xdotool windowactivate --sync "$window" 2>/dev/null
xdotool key alt+F4
ended $pid
check "closed by the window manager: status 0" [ "$status" = 0 ]
check "settings rewritten, comment kept" \
  [ "$(cat "$dir/kestrova.ini"; echo .)" = "$comment"$'\r\nTAG-SET=YES\r\nCRLF-SET=YES\r\nDRIVE-CHG-SET=NO\r\n.' ]

# The user's dark mode: it darkens the title bar, which Windows draws and
# Wine leaves to the window manager; every text stays legible. The end of
# the session is a close: the box unticked just before is in the settings.
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize' \
  /v AppsUseLightTheme /t REG_DWORD /d 0 /f >/dev/null 2>&1
wine "$dir/kestrova.exe" &
pid=$!
window=$(wait_window "$title" $pid)
check "dark: window" [ -n "$window" ]
xdotool windowmove --sync "$window" 0 0
# Shot only once the window has drawn its captions.
painted() {
  import -window "$window" "$work/shot.png" &&
    awk -v r="$(contrast "$work/shot.png" 34 $((menu + 32)) 87 17)" 'BEGIN { exit !(r > 2) }'
}
wait_for painted
legible_window dark
crlf_box() { import -window "$window" -crop 17x17+16+$((menu + 32)) rgb:- 2>/dev/null | md5sum; }
before=$(crlf_box)
box_changed() { test "$(crlf_box)" != "$before"; }
xdotool mousemove --window "$window" $(at 24 40) click 1  # Check_CRLF
check "dark: the box unticked" wait_for box_changed
check "session end: accepted" peer end-session "$title"
check "session end: the program ends" wait_for gone
ended $pid
check "session end: status 0" [ "$status" = 0 ]
check "session end: the settings written as a close writes them" \
  [ "$(cat "$dir/kestrova.ini"; echo .)" = "$comment"$'\r\nTAG-SET=YES\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n.' ]

finish_checks win32_e2e_test
