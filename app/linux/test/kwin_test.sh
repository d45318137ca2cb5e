#!/usr/bin/env bash
# Plasma's Wayland session end to end: KWin with its XWayland, DISPLAY and
# WAYLAND_DISPLAY both set as Plasma sets them, where an X11 copy reaches
# Wayland programs only while an X11 window is active. File-name mode copies
# through data control with no window and no Qt, a Wayland program (wl-paste)
# pastes the name after the start returned, and nothing of the program is
# left once a Wayland program copies something else; two files are copied
# before their box (an X11 window, through XWayland) is up and are still
# there after its OK.
# Usage: kwin_test.sh PATH/TO/kestrova [TIMINGS]
# With TIMINGS, it then also times file-name mode from start to pasted,
# alternating with wl-copy, that many runs, and the keepers' resident sizes
# (a benchmark, not a check).
set -uo pipefail
source "$(dirname "$0")/../../../tests/lib.sh" || exit 1

# The cases, run by KWin as its session's one program.
if [ "${1:-}" = --session ]; then
  work=$2
  timings=$3
  exec >"$work/session.log" 2>&1
  dir="$work/program"
  as_user() { "$@"; }
  pasted() { test "$(timeout 5 wl-paste -n 2>/dev/null; echo .)" = "$1."; }  # trailing line breaks count

  timeout 10 "$dir/kestrova" '$FILENAME$' /x/name.txt
  check "file-name mode ends with status 0" test $? -eq 0
  check "file-name mode showed no window" test -z "$(xdotool search --onlyvisible --name '^kestrova$')"
  check "a Wayland program pastes the name after the start returned" pasted name
  check "the keeper never loaded Qt" kept_without_qt "$dir"
  wl-copy other
  check "nothing of the program left once a Wayland program copied" gone_within 3 "$dir/kestrova"

  "$dir/kestrova" "$dir/a b.txt" "$dir/c.txt" 2>>"$work/program.log" &
  caller=$!
  box=$(wait_window kestrova)
  check "two files: the box is shown" test -n "$box"
  both="$dir/a b.txt"$'\r\n'"$dir/c.txt"
  check "two files pasted while the box is up" pasted "$both"
  timeout 10 xdotool windowactivate --sync "$box" key Return 2>/dev/null
  wait "$caller"
  check "two files: status 0 after OK" test $? -eq 0
  check "two files pasted after OK" pasted "$both"
  wl-copy other
  check "nothing left after the second take-over" gone_within 3 "$dir/kestrova"

  if [ "$timings" -gt 0 ]; then
    wayland_timings "$timings" "$dir"
    (gone_within 3 "$dir/kestrova")
  fi
  finish_checks kwin
  echo $? >"$work/status"
  exit 0
fi

program=$1
timings=${2:-0}
for tool in kwin_wayland Xwayland dbus-run-session wl-paste wl-copy xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/deps.sh lists it)"
    exit 77
  fi
done
work=$(mktemp -d)
cleanup() {
  pkill -f "$work/" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/runtime"
mkdir "$work/program"
copy_program "$program" "$work/program"
touch "$work/program/a b.txt" "$work/program/c.txt"
printf 'TAG-SET=NO\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n' >"$work/program/kestrova.ini"
# The installed KWin carries a file capability that an unprivileged
# container refuses to start; a copy under the same name runs the same.
cp "$(command -v kwin_wayland)" "$work/kwin_wayland"
env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work/runtime" timeout 300 dbus-run-session -- \
  "$work/kwin_wayland" --virtual --xwayland --socket kestrova-test --no-lockscreen --no-global-shortcuts \
  --exit-with-session "bash $0 --session $work $timings" >"$work/kwin.log" 2>&1
cat "$work/session.log" 2>/dev/null
if [ ! -s "$work/status" ]; then
  echo "FAIL: KWin's session did not run to its end; KWin's log:"
  tail -n 20 "$work/kwin.log"
  exit 1
fi
if [ "$(cat "$work/status")" -ne 0 ]; then
  echo "--- program's messages:"
  tail -n 20 "$work/program.log" 2>/dev/null
fi
exit "$(cat "$work/status")"
