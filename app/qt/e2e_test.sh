#!/usr/bin/env bash
# End-to-end test of the built program on a real X server (run under
# xvfb-run): the clipboard as other programs see it, the message box, the
# exit status, the settings file, and settings in the per-user folder.
# Usage: e2e_test.sh PATH/TO/kestrova
set -uo pipefail

program=$1
work=$(mktemp -d)
trap 'pkill -f "$work/" 2>/dev/null; rm -rf "$work"' EXIT
source "$(dirname "$0")/../../scripts/checks.sh"

# Waits up to 10 s for a top-level window whose name matches $1 exactly.
wait_window() {
  local i
  for i in $(seq 100); do
    xdotool search --name "^$1\$" 2>/dev/null | head -n 1 && return 0
    sleep 0.1
  done
  return 1
}

dismiss() {  # presses Return in the window $1
  xdotool windowfocus --sync "$1" key Return 2>/dev/null
}

# Waits up to 10 s for no process to run from folder $1.
wait_gone() {
  local i
  for i in $(seq 100); do
    pgrep -f "$1/kestrova" >/dev/null || return 0
    sleep 0.1
  done
  return 1
}

new_folder() {  # a folder holding a copy of the program and, given $2, a settings file
  local dir="$work/$1"
  mkdir -p "$dir"
  cp "$program" "$dir/kestrova"
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

# 1b. A mount-point row: a path below the mount point gets the share's path,
#     its separators written as the share writes them.
dir=$(new_folder mount 'DRIVE-CHG=/mnt/nas/,\\\\nas\\share\\\r\nTAG-SET=NO\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=YES\r\n')
"$dir/kestrova" '"/mnt/nas/docs/a b.txt"' &
caller=$!
box=$(wait_window kestrova)
check "mount-point row: clipboard holds the share's path" test "$(clipboard)" = '\\nas\share\docs\a b.txt'
dismiss "$box"
wait "$caller"
echo other | xclip -selection clipboard
wait_gone "$dir"

# 2. "$FILENAME$": the bare name, no message box, returns at once.
dir=$(new_folder name)
timeout 10 "$dir/kestrova" '$FILENAME$' '/home/u/report.final.txt'
check "file name mode exits 0 by itself" test $? -eq 0
check "base name on the clipboard" test "$(clipboard)" = report.final
check "no window left" test -z "$(xdotool search --name '^kestrova$' 2>/dev/null)"
check "default settings created" grep -q '^DRIVE-CHG-SET=YES' "$dir/kestrova.ini"
echo other | xclip -selection clipboard
check "file name mode ends after take-over" wait_gone "$dir"

# 2b. A name too big for one X request reaches a reader piece by piece
#     (INCR), as UTF-8 and as Latin-1; the keeper still ends on a take-over.
dir=$(new_folder big)
part=$(head -c 100000 /dev/zero | tr '\0' n)
"$dir/kestrova" '$FILENAME$' "/x/$part" "$part" "$part.txt"
check "big name: pasted whole" test "$(clipboard)" = "$part $part $part"
check "big name: pasted whole as STRING" \
  test "$(timeout 5 xclip -o -selection clipboard -t STRING 2>/dev/null)" = "$part $part $part"
echo other | xclip -selection clipboard
check "big name: ends after take-over" wait_gone "$dir"

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

# 5. A platform failure at start: its message, status 1.
dir=$(new_folder broken)
mkdir "$dir/kestrova.ini"  # a folder where the settings file should be
expect_message_and_status "$dir" 1 "unwritable settings file"
check "no backup written after the failure" test ! -e "$dir/kestrova.BAK"

# 6. No arguments: the window with its caption.
dir=$(new_folder window)
"$dir/kestrova" &
caller=$!
win=$(wait_window 'Kestrova  kestrova   Version:2.6.1')
check "window appears with its caption" test -n "$win"
if [ -n "${KESTROVA_SCREENSHOT:-}" ] && [ -n "$win" ]; then
  sleep 0.5
  import -window root -crop 560x300+0+0 "$KESTROVA_SCREENSHOT"
fi
kill "$caller" 2>/dev/null
wait "$caller" 2>/dev/null

# 7. A program folder that is not writable: settings go to the per-user
#    folder. Run as an unprivileged user, since root is never refused.
if command -v setpriv >/dev/null && id nobody >/dev/null 2>&1; then
  dir=$(new_folder readonly)
  home="$work/home"
  mkdir -p "$home"
  chown nobody "$home"
  chmod 755 "$work" "$dir"
  as_nobody() {
    setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups \
      env -i HOME="$home" PATH="$PATH" QT_QPA_PLATFORM=offscreen "$@"
  }
  as_nobody "$dir/kestrova" '$FILENAME$' /x/y.txt
  check "unprivileged run exits 0" test $? -eq 0
  check "settings in ~/.config/kestrova" test -f "$home/.config/kestrova/kestrova.ini"
  check "program folder untouched" test ! -e "$dir/kestrova.ini"
  mkdir -p "$home/xdg" && chown nobody "$home/xdg"
  as_nobody env XDG_CONFIG_HOME="$home/xdg" "$dir/kestrova" '$FILENAME$' /x/y.txt
  check "settings in \$XDG_CONFIG_HOME/kestrova" test -f "$home/xdg/kestrova/kestrova.BAK"
else
  echo "skipped the unprivileged run: setpriv or the user nobody is missing" >&2
fi

finish_checks e2e
