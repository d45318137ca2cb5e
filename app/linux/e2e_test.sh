#!/usr/bin/env bash
# End-to-end test of the built program on a real X server (run under
# xvfb-run): the clipboard as other programs see it, the message box, the
# exit status and the settings file. (Settings in the per-user folder:
# install_test.sh, with the installed program.)
# Usage: e2e_test.sh PATH/TO/kestrova [PATH/TO/drag_source]
set -uo pipefail

program=$1
drag_source=${2:-}
work=$(mktemp -d)
trap 'pkill -f "$work/" 2>/dev/null; rm -rf "$work"' EXIT
source "$(dirname "$0")/../../tests/lib.sh"

dismiss() {  # presses Return in the window $1 (a window gone meanwhile never takes the focus)
  timeout 10 xdotool windowfocus --sync "$1" key Return 2>/dev/null
}

wait_gone() { gone_within 10 "$1/kestrova"; }  # no process left running from folder $1

new_folder() {  # a folder holding a copy of the program and, given $2, a settings file
  local dir="$work/$1"
  mkdir -p "$dir"
  copy_program "$program" "$dir"
  [ $# -ge 2 ] && printf '%b' "$2" >"$dir/kestrova.ini"
  echo "$dir"
}

# 1. A path on the command line: copied edited, reported, kept after exit.
dir=$(new_folder copy 'DRIVE-CHG=X,\\\\realpath\\\r\ntag-set = YES\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=YES\r\n')
want='<\\realpath\docs\a b.txt>'
"$dir/kestrova" 'X:\docs\a b.txt' >"$work/out" 2>&1 &
caller=$!
box=$(wait_window kestrova)
check "message box comes up" test -n "$box"
check "clipboard while the box is up" test "$(clipboard)" = "$want"
check "caller still waits while the box is up" kill -0 "$caller"
dismiss "$box"
wait "$caller"
check "exit status 0 after the box" test $? -eq 0
check "clipboard after the program returned" test "$(clipboard)" = "$want"
check "settings rewritten" test "$(cat "$dir/kestrova.ini")" = "$(printf 'DRIVE-CHG=X,\\\\realpath\\\r\nTAG-SET=YES\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=YES\r')"
check "backup holds the lines read" grep -q 'tag-set = YES' "$dir/kestrova.BAK"
check "still serving the clipboard" pgrep -f "$dir/kestrova" >/dev/null
echo other | xclip -selection clipboard
check "ends once another program takes the clipboard" wait_gone "$dir"
check "the other program's text is there" test "$(clipboard)" = other

# 2. "$FILENAME$": the bare name, no message box, returns at once.
dir=$(new_folder name)
timeout 10 "$dir/kestrova" '$FILENAME$' '/home/u/report.final.txt'
check "file name mode exits 0 by itself" test $? -eq 0
check "base name on the clipboard" test "$(clipboard)" = report.final
check "no window left" test -z "$(xdotool search --name '^kestrova$' 2>/dev/null)"
check "default settings created" grep -q '^DRIVE-CHG-SET=YES' "$dir/kestrova.ini"
echo other | xclip -selection clipboard
check "file name mode ends after take-over" wait_gone "$dir"

# 2a. A Wayland compositor without data control (weston), or a
#     WAYLAND_DISPLAY that names none: the copy goes through X11's keeper as
#     before, with no box and without Qt, and nothing waits on the compositor.
mkdir -m 700 "$work/runtime"
# No shell or keyboard clients: nothing of weston's may outlive it.
printf '[core]\nshell=fullscreen-shell.so\n[input-method]\npath=\n' >"$work/weston.ini"
XDG_RUNTIME_DIR="$work/runtime" weston --config="$work/weston.ini" --backend=headless-backend.so \
  --socket=kestrova-weston --idle-time=0 --log="$work/weston.log" &
weston=$!
check "weston runs" wait_for test -S "$work/runtime/kestrova-weston"
for compositor in kestrova-weston missing; do
  dir=$(new_folder "fallback-$compositor")
  XDG_RUNTIME_DIR="$work/runtime" WAYLAND_DISPLAY=$compositor timeout 10 "$dir/kestrova" '$FILENAME$' /x/fallback.txt
  check "$compositor: file-name mode exits 0" test $? -eq 0
  check "$compositor: copied through X11" test "$(clipboard)" = fallback
  check "$compositor: kept without Qt" kept_without_qt "$dir"
  echo other | xclip -selection clipboard
  check "$compositor: ends after take-over" wait_gone "$dir"
done
kill "$weston"
wait "$weston"

# 2b. Several existing paths in one start, as a file manager hands over a
#     selection: each edited as a click on the list edits it; behind
#     "$FILENAME$" their bare names; with one missing, one text as before.
dir=$(new_folder several 'TAG-SET=YES\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n')
files="$work/files"
mkdir -p "$files/sub"
touch "$files/a b.txt" "$files/c.final.txt"
"$dir/kestrova" "$files/a b.txt" "$files/c.final.txt" "$files/sub" &
caller=$!
box=$(wait_window kestrova)
check "several paths: the box comes up" test -n "$box"
check "several paths: one a line, each edited" test "$(clipboard)" = \
  "$(printf '<%s>\r\n<%s>\r\n<%s>' "$files/a b.txt" "$files/c.final.txt" "$files/sub")"
dismiss "$box"
wait "$caller"
check "several paths: exit status 0" test $? -eq 0
timeout 10 "$dir/kestrova" '$FILENAME$' "$files/a b.txt" "$files/c.final.txt" "$files/sub"
check "several names: exit 0 without a box" test $? -eq 0
check "several names: one a line" test "$(clipboard)" = "$(printf 'a b\r\nc.final\r\nsub')"
"$dir/kestrova" "$files/a b.txt" "$files/gone.txt" &
caller=$!
box=$(wait_window kestrova)
check "a missing path: the whole line as one path" test "$(clipboard)" = "<$files/a b.txt $files/gone.txt>"
dismiss "$box"
wait "$caller"
echo other | xclip -selection clipboard
check "several paths: ends after take-over" wait_gone "$dir"

# 2c. A name too big for one X request reaches a reader piece by piece
#     (INCR), as UTF-8 and as Latin-1; the keeper still ends on a take-over.
dir=$(new_folder big)
part=$(head -c 100000 /dev/zero | tr '\0' n)
"$dir/kestrova" '$FILENAME$' "/x/$part" "$part" "$part.txt"
check "big name: pasted whole" test "$(clipboard)" = "$part $part $part"
check "big name: pasted whole as STRING" \
  test "$(timeout 5 xclip -o -selection clipboard -t STRING 2>/dev/null)" = "$part $part $part"
echo other | xclip -selection clipboard
check "big name: ends after take-over" wait_gone "$dir"

# 2d. No display to copy to or show anything on (a start over ssh, a display
#     that has gone): what failed, said on standard error, status 1, the
#     clipboard as it was, in every mode; Qt is never asked (it would abort
#     with a hint to reinstall).
dir=$(new_folder nodisplay)
echo other | xclip -selection clipboard
# A display number that no server here answers: another test's Xvfb may hold
# any fixed one, by its socket file or only by its abstract socket name.
unused=77
while [ -e "/tmp/.X11-unix/X$unused" ] || grep -q "@/tmp/.X11-unix/X$unused\b" /proc/net/unix; do
  unused=$((unused + 1))
done
for args in "\$FILENAME\$ /x/a.txt" "/x/a.txt" ""; do
  for display in "" ":$unused"; do
    # shellcheck disable=SC2086
    out=$(env -u WAYLAND_DISPLAY DISPLAY="$display" "$dir/kestrova" $args 2>&1)
    status=$?
    check "no display ($display, ${args:-window}): status 1" test "$status" -eq 1
    check "no display ($display, ${args:-window}): said in words" \
      grep -qE '^kestrova: (no display answers|cannot set the clipboard: cannot open the X display)' <<<"$out" ||
      printf '%s\n' "$out" >&2
  done
done
check "no display: the clipboard as it was" test "$(clipboard)" = other

# 3. A path named like a Qt option is a path, not an option.
dir=$(new_folder option 'TAG-SET=NO\r\nCRLF-SET=NO\r\n')
"$dir/kestrova" -platform offscreen &
caller=$!
box=$(wait_window kestrova)
check "option-like path still reaches the X display" test -n "$box"
check "option-like path copied as given" test "$(clipboard)" = "-platform offscreen"
dismiss "$box"
wait "$caller"
echo other | xclip -selection clipboard
wait_gone "$dir"

# Runs the program in folder $1 with a path, expects a message box, dismisses
# it, and checks the exit status is $2.
expect_message_and_status() {
  local dir=$1 status=$2 what=$3 caller box
  "$dir/kestrova" /some/path &
  caller=$!
  box=$(wait_window kestrova)
  check "$what shows a message" test -n "$box"
  dismiss "$box"
  wait "$caller"
  check "$what ends with status $status" test $? -eq "$status"
}

# 4. A 51st drive row: its message, status 2, settings file unchanged.
rows=$(for i in $(seq 51); do printf 'DRIVE-CHG=X,\\\\\\\\srv%s\\\\\\r\\n' "$i"; done)
dir=$(new_folder rows "$rows")
before=$(md5sum <"$dir/kestrova.ini")
expect_message_and_status "$dir" 2 "51st row"
check "51st row leaves the settings file" test "$(md5sum <"$dir/kestrova.ini")" = "$before"
check "51st row copied nothing" test "$(clipboard)" = other

# 5. A settings file, redirect file or backup that is no file (a FIFO would
#    hold the start for good): refused with a message, status 2, nothing
#    written; never waited on (the box must come up).
for kind in folder fifo device redirect-fifo backup-fifo; do
  dir=$(new_folder "not-a-file-$kind" 'TAG-SET=NO\r\n')
  case $kind in
    folder) rm "$dir/kestrova.ini" && mkdir "$dir/kestrova.ini" ;;
    fifo) rm "$dir/kestrova.ini" && mkfifo "$dir/kestrova.ini" ;;
    device) rm "$dir/kestrova.ini" && ln -s /dev/zero "$dir/kestrova.ini" ;;
    redirect-fifo) mkfifo "$dir/ini.ini" ;;
    backup-fifo) mkfifo "$dir/kestrova.BAK" ;;
  esac
  ls -l "$dir" >"$work/listing"
  timeout 20 "$dir/kestrova" /some/path 2>"$work/err" &
  caller=$!
  box=$(wait_window kestrova)
  check "$kind: a message" test -n "$box"
  dismiss "$box"
  wait "$caller"
  check "$kind: status 2" test $? -eq 2
  check "$kind: says what is in the way" grep -q ': it is a .*, not a settings file' "$work/err"
  check "$kind: nothing written" test "$(ls -l "$dir")" = "$(cat "$work/listing")"
  check "$kind: nothing copied" test "$(clipboard)" = other
done

# 5b. A relative path from a terminal: its full path as the shell names its
#     folder (a link kept); text that names nothing as it was given. A
#     name alone gives its base name.
dir=$(new_folder relative 'TAG-SET=NO\r\nCRLF-SET=NO\r\n')
mkdir -p "$work/here/sub"
touch "$work/here/sub/a.txt"
ln -s here "$work/linked"
for arg in sub/a.txt ./sub//a.txt no/such.txt; do
  want=$arg
  [ "$arg" = no/such.txt ] || want="$work/linked/sub/a.txt"
  (cd "$work/linked" && PWD="$work/linked" exec "$dir/kestrova" "$arg") &
  caller=$!
  box=$(wait_window kestrova)
  check "$arg: copied as $want" test "$(clipboard)" = "$want"
  dismiss "$box"
  wait "$caller"
done
(cd "$work/linked" && timeout 10 "$dir/kestrova" '$FILENAME$' report.final.txt)
check "a name alone: its base name" test "$(clipboard)" = report.final
echo other | xclip -selection clipboard
check "relative: ends after take-over" wait_gone "$dir"

# 5c. The display gone by the time the message is due (its second
#     connection refused): the message said on standard error, the copy
#     made and kept, status 0.
#     (LeakSanitizer cannot work under ptrace: in the sanitizer build its
#     fatal error would turn the start's status into 1.)
dir=$(new_folder gone 'TAG-SET=NO\r\nCRLF-SET=NO\r\n')
ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e trace=connect -e inject=connect:error=ECONNREFUSED:when=2+ \
  "$dir/kestrova" /x/gone.txt 2>"$work/err" &
caller=$!
gone_copied() { test "$(clipboard)" = /x/gone.txt; }
check "display gone: the copy made and kept" wait_for gone_copied
echo other | xclip -selection clipboard  # strace returns once the keeper ends
wait "$caller"
check "display gone: status 0" test $? -eq 0
check "display gone: the message on standard error" grep -qx 'kestrova: CLIPBOAD COPIED=/x/gone.txt' "$work/err"

# 5a. The table of file names (test/names.sh): the bytes of each name on
#     every UTF-8 target, one and several, and two copies at once.
source "$(dirname "$0")/test/names.sh"
names_start() { "$dir/kestrova" "$@" 2>>"$work/names.log" & caller=$!; }
names_box_up() { names_box=$(wait_window kestrova) && [ -n "$names_box" ]; }
names_box_ok() { dismiss "$names_box"; }
names_paste() { timeout 5 xclip -o -selection clipboard -t "$1" 2>/dev/null; }
names_targets=(UTF8_STRING text/plain 'text/plain;charset=utf-8')
dir=$(new_folder names)
names_table "$work/names"
echo other | xclip -selection clipboard
check "names: ends after take-over" wait_gone "$dir"
# The window takes a drop of two such names; 100 selection changes (each a
# copy, handed to a keeper of its own like the command line's) leave one
# keeper beside the window and no zombie; Ctrl+A copies their bytes; once
# the window closed, one small keeper serves them.
if [ -n "$drag_source" ]; then
  printf 'TAG-SET=NO\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n' >"$dir/kestrova.ini"
  "$dir/kestrova" 2>>"$work/names.log" &
  caller=$!
  win=$(wait_window 'Kestrova  kestrova   Version:2.6.1')
  check "names: window appears" test -n "$win"
  xdotool windowmove --sync "$win" 0 0
  menu=$(($(xdotool getwindowgeometry --shell "$win" | sed -n 's/^HEIGHT=//p') - 262))
  "$drag_source" "$work/names/${names[0]}" "$work/names/${names[1]}" >"$work/drag.out" 2>/dev/null &
  source_pid=$!
  source_win=$(wait_window drag_source)
  check "names: drag source appears" test -n "$source_win"
  drag_onto_list "$source_win" "$menu" "$work/drag.out"
  check "names: the list takes the drop" wait_for grep -q copied "$work/drag.out"
  xdotool mousemove --sync 100 $((menu + 90)) click 1
  first=$(printf '%s\r\n' "$work/names/${names[0]}" | hex)
  first_copied() { test "$(names_paste UTF8_STRING | hex)" = "$first"; }
  check "names: a click copies the first" wait_for first_copied
  window_pid=$(pgrep -P "$caller" -f "$dir/kestrova")
  xdotool key --delay 10 $(for _ in $(seq 50); do echo Down Up; done)
  check "names: after 100 selection changes the first row's copy is there" wait_for first_copied
  check "names: after 100 selection changes one keeper runs beside the window" \
    wait_for running_beside "$dir" "$caller|$window_pid" 1
  check "names: no zombie under the window" wait_for no_zombie_under "$window_pid"
  xdotool key ctrl+a
  dropped=$(printf '%s\r\n%s' "$work/names/${names[0]}" "$work/names/${names[1]}" | hex)
  dropped_copied() { test "$(names_paste UTF8_STRING | hex)" = "$dropped"; }
  check "names: the dropped names are copied as their bytes" wait_for dropped_copied
  # Closed as a window manager closes it (openbox binds Alt+F4).
  start_openbox "$work/wm-ready"
  timeout 10 xdotool windowactivate --sync "$win" key --clearmodifiers alt+F4 2>/dev/null
  wait "$caller"
  check "names: the closed window ends with status 0" test $? -eq 0
  small_keeper_left names "$dir"
  echo "the X11 window's keeper's resident size: ${keeper_rss:-?} kB"
  check "names: the last copy pasted after the close" dropped_copied
  kill "$source_pid" "$wm" 2>/dev/null
  wait "$source_pid" "$wm" 2>/dev/null
  for pid in $(pgrep -f "$dir/kestrova"); do kill "$pid" 2>/dev/null; done
fi

# The keeper holds the copy, not the settings: beside a 5 MB settings file
# (notes of the user's own) it is as small as any.
dir=$(new_folder large 'TAG-SET=NO\r\nCRLF-SET=NO\r\n')
yes $'; a note of the user\'s own, kept as it is\r' | head -c 5M >>"$dir/kestrova.ini"
timeout 60 "$dir/kestrova" '$FILENAME$' /x/large.txt
check "large settings: ends with status 0" test $? -eq 0
check "large settings: copied" test "$(clipboard)" = large
small_keeper_left "large settings" "$dir"
echo "the keeper's resident size beside a 5 MB settings file: ${keeper_rss:-?} kB"
echo other | xclip -selection clipboard
check "large settings: ends after take-over" wait_gone "$dir"

# 6. No arguments: the window with its caption. The end of the session
#    (SIGTERM, SIGHUP) and Ctrl+C (SIGINT) close it as the user does: the
#    box unticked just before is in the settings, the start ends with 0. A
#    box start is closed the same way and still writes its settings.
#    (Background jobs of a script ignore SIGINT: env gives it back.)
caller_ended() { ! kill -0 "$caller" 2>/dev/null; }
for sig in TERM HUP INT; do
  dir=$(new_folder "window-$sig" 'CRLF-SET=YES\r\n')
  env --default-signal=INT "$dir/kestrova" &
  caller=$!
  win=$(wait_window 'Kestrova  kestrova   Version:2.6.1')
  check "window appears with its caption" test -n "$win"
  if [ -n "${KESTROVA_SCREENSHOT:-}" ] && [ -n "$win" ] && [ "$sig" = TERM ]; then
    sleep 0.5
    import -window "$win" "$KESTROVA_SCREENSHOT"
  fi
  xdotool windowmove --sync "$win" 0 0
  menu=$(($(xdotool getwindowgeometry --shell "$win" | sed -n 's/^HEIGHT=//p') - 262))
  crlf_box() { import -window root -crop 17x17+16+$((menu + 32)) rgb:- 2>/dev/null | md5sum; }
  before=$(crlf_box)
  box_changed() { test "$(crlf_box)" != "$before"; }
  xdotool mousemove --sync 30 $((menu + 40)) click 1
  check "SIG$sig: the box unticked" wait_for box_changed
  kill -"$sig" "$caller"
  check "SIG$sig: the start ends" wait_for caller_ended
  wait "$caller"
  check "SIG$sig: status 0" test $? -eq 0
  check "SIG$sig: the settings say what the box showed" grep -q $'^CRLF-SET=NO\r$' "$dir/kestrova.ini"
  check "SIG$sig: nothing left running" wait_gone "$dir"
done
dir=$(new_folder box-TERM 'tag-set = YES\r\n')
"$dir/kestrova" /x/a.txt &
caller=$!
check "box start: the box comes up" test -n "$(wait_window kestrova)"
kill -TERM "$caller"
check "box start: ends at SIGTERM" wait_for caller_ended
wait "$caller"
check "box start: status 0" test $? -eq 0
check "box start: settings rewritten" grep -q $'^TAG-SET=YES\r$' "$dir/kestrova.ini"

finish_checks e2e
