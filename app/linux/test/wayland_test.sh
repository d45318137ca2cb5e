#!/usr/bin/env bash
# The program on pure Wayland (its processes see no X11 at all), end to end
# in a sway of the test's own, whose data control lets a program without a
# window set the clipboard: file-name mode copies with no box and no Qt,
# command-line mode copies before its box, both copies outlive the started
# process, files dragged from another Wayland program are listed and a click
# copies them, that copy outlives the window, closing the window rewrites the
# settings, and every process of the program ends once another program takes
# the clipboard. The whole scenario runs several times in a row, since a
# process that hangs on its way out does so only now and then.
# sway refuses to run as root: as root the test creates a user of its own.
# sway runs in a window on the X server the test is given (xvfb-run): that
# backend gives its seat a pointer, which a headless sway lacks, so sway's
# own "seat cursor" commands reach the clients and can carry a drag.
# Given REFILL, rounds 2, 3 and 5 run beside that clipboard manager (it puts
# its last text back whenever it sees the clipboard empty), at once or 3 ms
# later: every copy must keep the clipboard all the same.
# Usage: wayland_test.sh PATH/TO/kestrova PATH/TO/drag_source [ROUNDS [TIMINGS [REFILL]]]
# With TIMINGS, it then also times file-name mode from start to pasted,
# alternating with wl-copy, that many runs, and the keepers' resident sizes
# (a benchmark, not a check).
set -uo pipefail

program=$1
drag_tool=$2
rounds=${3:-5}
timings=${4:-0}
refill=${5:-}
source "$(dirname "$0")/../../../tests/lib.sh" || exit 1

if [ -z "${DISPLAY:-}" ]; then
  echo "SKIP: no X server for sway to run on (run it under xvfb-run)"
  exit 77
fi
for tool in sway swaymsg wtype wl-paste wl-copy jq; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/deps.sh lists it)"
    exit 77
  fi
done

work=$(mktemp -d)
chmod 755 "$work"
# The test user may not enter the build folder (a clone in a private
# folder): it runs its own copy of the drag source, as of the program.
cp "$drag_tool" "$work/drag_source"
drag_tool=$work/drag_source
if [ -n "$refill" ]; then
  cp "$refill" "$work/refill_wayland"
  refill=$work/refill_wayland
fi
user=kestrova-wayland-test
created_user=
test_user "$user" || { echo "SKIP: cannot create the user $user that sway needs"; exit 77; }
if [ "${#run_as[@]}" -gt 0 ]; then
  # The user is the test's own by its name: one a killed run left behind
  # goes at the end as well.
  created_user=yes
else
  user=$(id -un)
fi
runtime="$work/runtime"
home="$work/home"
mkdir -p "$runtime" "$home"
chmod 700 "$runtime"
chown "$user" "$runtime" "$home"

sway_pid=
cleanup() {
  local pid
  for pid in $(pgrep -f "$work/"); do kill "$pid" 2>/dev/null; done
  [ -n "$sway_pid" ] && kill "$sway_pid" 2>/dev/null && wait "$sway_pid" 2>/dev/null
  # wl-copy serves from a process of its own, started by the test's user.
  if [ -n "$created_user" ] || [ "${#run_as[@]}" -gt 0 ]; then
    for pid in $(pgrep -u "$user"); do kill "$pid" 2>/dev/null; done
    sleep 0.2
  fi
  [ -n "$created_user" ] && userdel "$user" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

shared_xauthority "$work/Xauthority"
cat >"$work/sway.conf" <<'CONF'
output X11-1 resolution 1280x1024
xwayland disable
CONF
"${run_as[@]}" env -i HOME="$home" PATH="$PATH" XDG_RUNTIME_DIR="$runtime" \
  DISPLAY="$DISPLAY" XAUTHORITY="$work/Xauthority" \
  WLR_BACKENDS=x11 WLR_RENDERER=pixman LIBSEAT_BACKEND=noop \
  sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
sway_pid=$!
display=
swaysock=
for _ in $(seq 100); do
  display=$(ls "$runtime" | grep -E '^wayland-[0-9]+$' | head -n 1)
  swaysock=$(ls "$runtime"/sway-ipc.*.sock 2>/dev/null | head -n 1)
  [ -n "$display" ] && [ -n "$swaysock" ] && break
  sleep 0.1
done
if [ -z "$display" ] || [ -z "$swaysock" ]; then
  echo "SKIP: sway did not start; its log:"
  tail -n 20 "$work/sway.log"
  exit 77
fi

as_user() {
  "${run_as[@]}" env -i HOME="$home" PATH="$PATH" XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$display" \
    SWAYSOCK="$swaysock" XDG_SESSION_TYPE=wayland "$@"
}
paste() { timeout 5 "${run_as[@]}" env -i XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$display" wl-paste -n 2>/dev/null; }
key() { as_user wtype -s 300 "$@"; }  # without the pause the compositor loses the key
cursor() { as_user swaymsg "seat - cursor $*" >/dev/null; }
point() { cursor set "$1" "$2"; sleep 0.2; }
click() { cursor press button1; sleep 0.05; cursor release button1; }
drag() {  # drag X1 Y1 X2 Y2: pressed at the first point, released at the second
  point "$1" "$2"
  cursor press button1
  local step
  for step in $(seq 10); do
    cursor set $(($1 + ($3 - $1) * step / 10)) $(($2 + ($4 - $2) * step / 10))
    sleep 0.03
  done
  sleep 0.3
  cursor release button1
  sleep 0.3
}

# "X Y" of the content of the first window whose title matches $1, or nothing.
window_at() {
  as_user swaymsg -t get_tree 2>/dev/null | jq -r --arg re "$1" \
    'first(.. | objects | select(.pid? != null and ((.name // "") | test($re))))
     | "\(.rect.x + .window_rect.x) \(.rect.y + .window_rect.y)"'
}
has_window() { test -n "$(window_at "$1")"; }
wait_window() { wait_for has_window "$1"; }
pasted() { test "$(paste; echo .)" = "$1."; }  # trailing line breaks count

on_wayland() {  # the serving process of the program uses Qt's Wayland plugin
  local pid
  pid=$(pgrep -f "$dir/kestrova" | tail -n 1)  # the worker, started last
  [ -n "$pid" ] && grep -q libqwayland "/proc/$pid/maps"
}

settings_before='DRIVE-CHG=X,\\\\realpath\\\r\ntag-set = YES\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=YES\r\n'
settings_after='DRIVE-CHG=X,\\\\realpath\\\r\nTAG-SET=YES\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=YES\r\n'
ends_in=()
keeper_sizes=()
refill_delays=('' 0 3 '' 3)  # by round; '' runs without the manager

for round in $(seq "$rounds"); do
  r="round $round"
  dir="$work/r$round"
  mkdir -p "$dir"
  delay=${refill_delays[(round - 1) % 5]}
  if [ -n "$refill" ] && [ -n "$delay" ]; then
    r="$r (manager $delay ms)"
    as_user wl-copy "before round $round" 2>/dev/null
    as_user "$refill" "$delay" >"$work/refill.out" 2>&1 &
    check "$r: the manager starts" wait_for grep -q ready "$work/refill.out"
    sleep 0.2
  fi
  copy_program "$program" "$dir"  # the test user may not reach the build folder
  touch "$dir/a b.txt" "$dir/c.txt"
  printf '%b' "$settings_before" >"$dir/kestrova.ini"
  chown -R "$user" "$dir"

  # 1. Command-line mode: copied before its message, which OK dismisses.
  as_user "$dir/kestrova" 'X:\docs\a b.txt' 2>>"$work/program.log" &
  caller=$!
  check "$r: command line shows its message" wait_window '^kestrova$'
  check "$r: the box runs on Wayland" on_wayland
  check "$r: command-line copy pasted while its box is up" pasted '<\\realpath\docs\a b.txt>'
  key -k Return
  wait "$caller"
  check "$r: command line ends with status 0" test $? -eq 0
  check "$r: command-line copy pasted after the start ended" pasted '<\\realpath\docs\a b.txt>'
  # Made before the box loaded Qt: a fork of a process without Qt's threads.
  check "$r: the command line's keeper never loaded Qt" kept_without_qt "$dir"

  # 2. File-name mode: no message, no window, no Qt; the start returns at
  #    once and its keeper serves the name.
  #    Beside the manager a few times over: a lost copy loses only now and then.
  for name in report.final ${refill:+${delay:+second third}}; do
    as_user timeout 10 "$dir/kestrova" '$FILENAME$' "/x/$name.txt" 2>>"$work/program.log"
    check "$r: file-name mode ends with status 0 ($name)" test $? -eq 0
    check "$r: file name pasted after the start ended ($name)" pasted "$name"
  done
  check "$r: file-name mode showed no window" test -z "$(window_at '^kestrova$')"
  check "$r: the keeper never loaded Qt" kept_without_qt "$dir"

  # 3. Window mode: files dragged from another Wayland program, a click, Ctrl+A, close.
  # With a mount-point row for the folder the files lie in, the drop maps
  # them to the share at once.
  mount_row="DRIVE-CHG=$dir,"'\\\\nas\\share\\\r\n'
  printf '%b' "$mount_row$settings_before" >"$dir/kestrova.ini"
  as_user "$dir/kestrova" 2>>"$work/program.log" &
  caller=$!
  check "$r: window appears" wait_window '^Kestrova  kestrova'
  as_user env QT_QPA_PLATFORM=wayland "$drag_tool" "$dir/a b.txt" "$dir/c.txt" 2>>"$work/program.log" &
  source_pid=$!
  check "$r: drag source appears" wait_window '^drag_source$'
  read -r kx ky <<<"$(window_at '^Kestrova  kestrova')"
  read -r sx sy <<<"$(window_at '^drag_source$')"
  # The list's first row lies about 108 px below the top of the window's
  # content (menu bar, check boxes, the list's margin).
  row_x=$((kx + 100))
  row_y=$((ky + 108))
  # Each move first crosses the other window, so the target surely gets its
  # pointer enter, whatever surface the cursor was left over last time.
  point "$row_x" "$row_y"
  drag $((sx + 100)) $((sy + 100)) "$row_x" "$row_y"
  point $((sx + 100)) $((sy + 100))
  point "$row_x" "$row_y"
  click
  # Not the list's last entry, so it ends with a line break.
  check "$r: the dragged files are listed, a click copies the first" \
    wait_for pasted '<\\nas\share\a b.txt>'$'\r\n'
  # 100 selection changes, to the row below and back, each a copy: its
  # keeper replaces the last one, and nothing of them stays behind.
  # The start waits for the window's process, its child, to report.
  start_pid=$(pgrep -o -f "$dir/kestrova")
  window_pid=$(pgrep -P "$start_pid" -f "$dir/kestrova")
  key -d 10 $(for _ in $(seq 50); do echo -k Down -k Up; done)
  check "$r: after 100 selection changes the first row's copy is there" \
    wait_for pasted '<\\nas\share\a b.txt>'$'\r\n'
  check "$r: after 100 selection changes one keeper runs beside the window" \
    wait_for running_beside "$dir" "$start_pid|$window_pid" 1
  check "$r: no zombie under the window" wait_for no_zombie_under "$window_pid"
  key -M ctrl -k a -m ctrl
  check "$r: Ctrl+A copies both" wait_for pasted '<\\nas\share\a b.txt>'$'\r\n''<\\nas\share\c.txt>'
  check "$r: settings untouched while the window is open" \
    test "$(md5sum <"$dir/kestrova.ini")" = "$(printf '%b' "$mount_row$settings_before" | md5sum)"
  as_user swaymsg '[app_id="^kestrova$"] kill' >/dev/null
  wait "$caller"
  check "$r: closed window ends with status 0" test $? -eq 0
  check "$r: closing the window rewrote the settings" \
    test "$(md5sum <"$dir/kestrova.ini")" = "$(printf '%b' "$mount_row$settings_after" | md5sum)"
  check "$r: window's copy pasted after the start ended" \
    pasted '<\\nas\share\a b.txt>'$'\r\n''<\\nas\share\c.txt>'
  # The window's pages stay with the window: a keeper of its own is small.
  small_keeper_left "$r" "$dir"
  keeper_sizes+=("${keeper_rss:-?} kB")
  as_user swaymsg '[app_id="^drag_source$"] kill' >/dev/null
  wait "$source_pid" 2>/dev/null

  # 4. Another program takes the clipboard: nothing of ours is left.
  started=$(now)
  as_user wl-copy other 2>/dev/null
  check "$r: no process left 3 s after another program took the clipboard" gone_within 3 "$dir/kestrova"
  ends_in+=("$(($(now) - started)) ms")
  check "$r: the other program's text is there" pasted other
  pgrep -af "$dir/kestrova" >&2
  for pid in $(pgrep -f "$work/refill_wayland"); do kill "$pid"; done
done

echo "workers gone after the take-over in: ${ends_in[*]}"
echo "the window's keeper's resident size: ${keeper_sizes[*]}"

# 5. Under load (readers_beside_killed): the reader killed halfway pastes
#    into a pipe nobody reads, so it stops taking the text after 64 KiB.
dir="$work/load"
mkdir -p "$dir"
copy_program "$program" "$dir"
chown -R "$user" "$dir"
mkfifo "$work/stuck"
exec 9<>"$work/stuck"  # held open and never read
load_run() { as_user "$@" 2>>"$work/program.log"; }
load_paste() { paste; }
load_stuck() {
  "${run_as[@]}" env -i XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$display" wl-paste -n >"$work/stuck" 2>/dev/null &
  victim=$!
  sleep 0.5
}
load_other() { as_user wl-copy other 2>/dev/null; }
readers_beside_killed load "$dir"
exec 9<&-

# The table of file names (names.sh), then a drop of two of them onto the
# window: the copy holds their bytes, and a drive row added by hand while the
# window is open stays when it closes.
source "$(dirname "$0")/names.sh"
names_start() { as_user "$dir/kestrova" "$@" 2>>"$work/program.log" & caller=$!; }
names_box_up() { wait_window '^kestrova$'; }
names_box_ok() { key -k Return; }
names_paste() { timeout 5 "${run_as[@]}" env -i XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$display" wl-paste -n -t "$1" 2>/dev/null; }
names_targets=('text/plain;charset=utf-8' text/plain UTF8_STRING)
dir="$work/names-program"
mkdir -p "$dir"
copy_program "$program" "$dir"
chown -R "$user" "$dir"
names_table "$work/names"
plain='TAG-SET=NO\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n'
printf '%b' "$plain" >"$dir/kestrova.ini"
as_user "$dir/kestrova" 2>>"$work/program.log" &
caller=$!
check "names: window appears" wait_window '^Kestrova  kestrova'
as_user env QT_QPA_PLATFORM=wayland "$drag_tool" "$work/names/${names[0]}" "$work/names/${names[1]}" \
  2>>"$work/program.log" &
source_pid=$!
check "names: drag source appears" wait_window '^drag_source$'
read -r kx ky <<<"$(window_at '^Kestrova  kestrova')"
read -r sx sy <<<"$(window_at '^drag_source$')"
point $((kx + 100)) $((ky + 108))
drag $((sx + 100)) $((sy + 100)) $((kx + 100)) $((ky + 108))
point $((sx + 100)) $((sy + 100))
point $((kx + 100)) $((ky + 108))
click
key -M ctrl -k a -m ctrl
dropped=$(printf '%s\r\n%s' "$work/names/${names[0]}" "$work/names/${names[1]}" | hex)
dropped_copied() { test "$(names_paste 'text/plain;charset=utf-8' | hex)" = "$dropped"; }
check "names: the dropped names are copied as their bytes" wait_for dropped_copied
printf '%bDRIVE-CHG=Y,\\\\byhand\\\r\n' "$plain" >"$dir/kestrova.ini.new"
mv "$dir/kestrova.ini.new" "$dir/kestrova.ini"
hand=$(md5sum <"$dir/kestrova.ini")
as_user swaymsg '[app_id="^kestrova$"] kill' >/dev/null
wait "$caller"
check "names: closed window ends with status 0" test $? -eq 0
check "names: the row added by hand while the window was open stays" test "$(md5sum <"$dir/kestrova.ini")" = "$hand"
as_user swaymsg '[app_id="^drag_source$"] kill' >/dev/null
wait "$source_pid" 2>/dev/null
as_user wl-copy other 2>/dev/null
check "names: no process left after another program took the clipboard" gone_within 3 "$dir/kestrova"

if [ "$timings" -gt 0 ]; then
  dir="$work/timing"
  mkdir -p "$dir"
  copy_program "$program" "$dir"  # the test user may not reach the build folder
  chown -R "$user" "$dir"
  wayland_timings "$timings" "$dir"
  (gone_within 3 "$dir/kestrova")
fi
if [ "$failures" -gt 0 ]; then
  echo "--- program's messages:"; tail -n 30 "$work/program.log"
fi
finish_checks wayland
