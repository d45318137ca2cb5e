#!/usr/bin/env bash
# Faults of the system against the built program on real files: a full disk
# (a small tmpfs this test mounts), a read error and a rename error (injected
# by strace: the reads of the settings file, every rename after the first,
# which writes the backup at start, and the folder's flush after the last);
# and the user's own files in the
# way: a redirect to a missing folder or through a file, and, as nobody
# (root is never refused), an unreadable settings file and a settings
# folder the user may not write. Each case checks the
# message, the exit status, the settings file's bytes and the folder's
# listing: a failure is never reported as success, and the settings file is
# never left cut short, emptied or beside a stray temporary file.
# Run under xvfb-run, as root (for the mount and nobody). Exits 77 (skipped)
# otherwise.
# Usage: fault_test.sh PATH/TO/kestrova
set -uo pipefail

program=$1
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: mounting a small tmpfs needs root"
  exit 77
fi
for tool in strace openbox xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
source "$(dirname "$0")/../../tests/lib.sh"
can_run_as_nobody || { echo "SKIP: setpriv or the user nobody is missing"; exit 77; }
work=$(mktemp -d)
chmod 755 "$work"
shared_xauthority "$work/Xauthority"
cleanup() {
  pkill -f "$work/" 2>/dev/null
  kill "$wm" 2>/dev/null
  umount "$work"/*/disk 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# A window manager, to close the window as a user does.
start_openbox "$work/wm-ready" || { echo "FAIL: openbox did not start"; exit 1; }

# A settings file of about 5 KB: what a user with many drive rows has. Its
# option lines are written as a person might, so the rewrite at close has
# new bytes to write.
settings() {
  local i
  printf '. kept as it is\r\n'
  for i in $(seq 40); do
    printf 'DRIVE-CHG=%s,\\\\fileserver-%02d.example.org\\departments\\shared\\projects\\\r\n' "N$i" "$i"
  done
  printf 'drive-chg-set = YES\r\nCRLF-SET=NO\r\nTAG-SET=NO\r\n'
}

# new_case NAME DISK: a program folder whose settings live in $dir, which is
# a 64 KB tmpfs when DISK is "full" (nothing free) or "backup" (room for the
# backup and no more), and an ordinary folder when DISK is "-".
new_case() {
  local name=$1 disk=$2
  local prog="$work/$name"
  mkdir -p "$prog/disk"
  copy_program "$program" "$prog"
  dir="$prog/disk"
  printf '%s\n' "$dir" >"$prog/ini.ini"
  if [ "$disk" != - ]; then
    mount -t tmpfs -o size=64k,mode=755 tmpfs "$dir"
  fi
  settings >"$dir/kestrova.ini"
  if [ "$disk" = backup ]; then
    # Holds the place of the backup while the rest is filled.
    cp "$dir/kestrova.ini" "$dir/reserve"
  fi
  if [ "$disk" != - ]; then
    dd if=/dev/zero of="$dir/filler" bs=4k 2>/dev/null
    rm -f "$dir/reserve"
  fi
  before=$(md5sum <"$dir/kestrova.ini")
}

# run_case NAME MODE WANT STATUS FILES [STRACE ARGS...]: starts the program
# in MODE ("name": file-name mode, "window": closes the window; as nobody
# when $user is), expects one
# message box whose text (the program's standard error) holds WANT, the exit
# status STATUS, the settings file unchanged and the folder holding FILES.
# Leaves what was on the clipboard after the message in $copied.
run_case() {
  local name=$1 mode=$2 want=$3 status=$4 files=$5
  shift 5
  local prog="$work/$name" args=('$FILENAME$' /x/a.txt) caller win box
  [ "$mode" = window ] && args=()
  echo other | xclip -selection clipboard
  if [ $# -gt 0 ]; then
    strace -f -qq -o /dev/null "$@" "$prog/kestrova" "${args[@]}" 2>"$prog/err" &
  elif [ "${user:-}" = nobody ]; then
    as_nobody env XAUTHORITY="$work/Xauthority" "$prog/kestrova" "${args[@]}" 2>"$prog/err" &
  else
    "$prog/kestrova" "${args[@]}" 2>"$prog/err" &
  fi
  caller=$!
  if [ "$mode" = window ]; then
    win=$(wait_window 'Kestrova  kestrova   Version:2.6.1')
    check "$name: window shown" test -n "$win"
    timeout 10 xdotool windowactivate --sync "$win" key --clearmodifiers alt+F4 2>/dev/null
  fi
  box=$(wait_window kestrova)
  if ! check "$name: message box" test -n "$box"; then
    # What the program was doing instead; then on to the next case rather
    # than waiting for a box nobody can answer.
    cat "$prog/err" >&2
    ps -o pid,stat,wchan:24,etime,args --ppid "$caller" -p "$caller" >&2
    kill "$caller" 2>/dev/null
  fi
  timeout 10 xdotool windowactivate --sync "$box" key Return 2>/dev/null
  # A copy made before the failure is served until taken over, and strace
  # returns only when every process it traces has ended.
  sleep 0.5
  copied=$(clipboard)
  echo other | xclip -selection clipboard
  wait "$caller"
  check "$name: status $status" test $? -eq "$status"
  check "$name: message names the file and the reason" grep -qF "$want" "$prog/err" ||
    cat "$prog/err" >&2
  check "$name: settings file unchanged" test "$(md5sum <"$dir/kestrova.ini")" = "$before"
  check "$name: nothing stray beside it" test "$(cd "$dir" && ls -A | tr '\n' ' ')" = "$files"
  pkill -f "$prog/" 2>/dev/null
}

# name                  disk    mode    message                                              status  files left
new_case full-at-start full
run_case full-at-start name "cannot write $dir/kestrova.BAK: No space left on device" 1 "filler kestrova.ini "
check "full-at-start: nothing copied" test "$copied" = other

new_case full-at-close backup
run_case full-at-close name "cannot write $dir/kestrova.ini: No space left on device" 1 "filler kestrova.BAK kestrova.ini "

new_case full-at-window-close backup
run_case full-at-window-close window "cannot write $dir/kestrova.ini: No space left on device" 1 \
  "filler kestrova.BAK kestrova.ini "

new_case read-error -
run_case read-error name "cannot read $dir/kestrova.ini: Input/output error" 1 "kestrova.ini " \
  -P "$dir/kestrova.ini" -e trace=read,pread64 -e inject=read,pread64:error=EIO

new_case rename-error -
run_case rename-error name "cannot write $dir/kestrova.ini: Device or resource busy" 1 \
  "kestrova.BAK kestrova.ini " \
  -e trace=rename -e inject=rename:error=EBUSY:when=2+

# Only the folder's flush after the rename at close fails (the fourth
# fsync; the backup's file and folder are the first two): the message says
# the new file is in place, and it is.
new_case flush-error -
before=$(settings | sed 's/^drive-chg-set = YES/DRIVE-CHG-SET=YES/' | md5sum)
run_case flush-error name "wrote $dir/kestrova.ini, but cannot flush its folder to the disk: Input/output error" 1 \
  "kestrova.BAK kestrova.ini " -e trace=fsync -e inject=fsync:error=EIO:when=4

new_case redirect-to-missing -
printf '%s\n' "$work/redirect-to-missing/missing" >"$work/redirect-to-missing/ini.ini"
missing="$work/redirect-to-missing/missing"
run_case redirect-to-missing name "cannot write $missing/kestrova.ini: No such file or directory" 1 "kestrova.ini "
check "redirect-to-missing: no folder made, nothing copied" test ! -e "$missing" -a "$copied" = other

new_case redirect-through-file -
printf '%s\n' "$dir/kestrova.ini" >"$work/redirect-through-file/ini.ini"
run_case redirect-through-file name "cannot write $dir/kestrova.ini/kestrova.ini: Not a directory" 1 "kestrova.ini "
check "redirect-through-file: nothing copied" test "$copied" = other

# The program's folder is nobody's, the settings folder root's.
user=nobody
new_case unreadable -
chown nobody "$work/unreadable"
chmod 200 "$dir/kestrova.ini"
run_case unreadable name "cannot read $dir/kestrova.ini: Permission denied" 1 "kestrova.ini "
check "unreadable: nothing copied" test "$copied" = other

new_case unwritable-folder -
chown nobody "$work/unwritable-folder"
run_case unwritable-folder name "cannot write $dir/kestrova.BAK: Permission denied" 1 "kestrova.ini "
check "unwritable-folder: nothing copied" test "$copied" = other

finish_checks faults
