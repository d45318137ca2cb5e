#!/usr/bin/env bash
# On a real X server (run under xvfb-run), beside a clipboard manager that
# puts its last text back whenever it sees the clipboard empty, at once or a
# few milliseconds later: file-name mode, the command-line copy with its box
# and a click in the window each keep their copy. A copy that empties the
# clipboard before it sets it loses to such a manager.
# Usage: refill_x11_test.sh PATH/TO/kestrova PATH/TO/drag_source PATH/TO/selection_test
# (whose --refill mode is that manager)
set -uo pipefail

program=$1
drag_source=$2
refill=$3
work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in $(pgrep -f "$work/"); do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/../../../tests/lib.sh"

dir="$work/app"
mkdir -p "$dir"
copy_program "$program" "$dir"
printf 'TAG-SET=NO\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n' >"$dir/kestrova.ini"
file="$work/dropped.txt"
touch "$file"

clipboard_is() { test "$(clipboard)" = "$1"; }
# The manager has taken `text` as its last entry once it answers with it
# while the program's copy is gone.
before() {
  echo "before $1" | xclip -selection clipboard
  sleep 0.3
}
# The copy must still be there once the manager had time to put its own back.
kept() { sleep 0.3; clipboard_is "$1"; }

for delay in 0 3; do
  "$refill" --refill "$delay" >"$work/refill.out" &
  refill_pid=$!
  pids+=("$refill_pid")
  check "manager ($delay ms) starts" wait_for grep -q ready "$work/refill.out"

  # File-name mode, a few times: a lost copy loses only now and then.
  for i in 1 2 3; do
    before "name $i"
    timeout 10 "$dir/kestrova" '$FILENAME$' "/x/name-$delay-$i.txt"
    check "$delay ms: file-name mode $i ends with status 0" test $? -eq 0
    check "$delay ms: file-name mode $i keeps its copy" kept "name-$delay-$i"
  done

  # The command-line copy with its box.
  before box
  "$dir/kestrova" "/x/box-$delay.txt" &
  caller=$!
  box=$(wait_window kestrova)
  check "$delay ms: the box comes up" test -n "$box"
  check "$delay ms: command-line copy kept while its box is up" kept "/x/box-$delay.txt"
  xdotool windowfocus --sync "$box" key Return 2>/dev/null
  wait "$caller"
  check "$delay ms: command line ends with status 0" test $? -eq 0
  check "$delay ms: command-line copy kept after the start" kept "/x/box-$delay.txt"

  # A click in the window, on a file dragged onto its list.
  before window
  "$dir/kestrova" &
  caller=$!
  win=$(wait_window 'Kestrova  kestrova   Version:2.6.1')
  check "$delay ms: window appears" test -n "$win"
  xdotool windowmove --sync "$win" 0 0
  eval "$(xdotool getwindowgeometry --shell "$win")"
  menu=$((HEIGHT - 262))  # the client area is 262 pixels high; the menu bar on top
  "$drag_source" "$file" >"$work/drag.out" &
  source_pid=$!
  source_win=$(wait_window drag_source)
  drag_onto_list "$source_win" "$menu" "$work/drag.out"
  check "$delay ms: the list takes the drop" wait_for grep -q copied "$work/drag.out"
  sleep 0.5
  xdotool mousemove --sync 100 $((menu + 90)) click 1
  check "$delay ms: a click copies the entry" wait_for clipboard_is "$file"
  check "$delay ms: the click's copy is kept" kept "$file"
  kill "$refill_pid"
  wait "$refill_pid" 2>/dev/null
  # The window's process, which its caller only waits for.
  kill "$source_pid" "$(xdotool getwindowpid "$win")" 2>/dev/null
  wait "$source_pid" "$caller" 2>/dev/null
  echo other | xclip -selection clipboard
  check "$delay ms: nothing of the program left once another program copied" gone_within 5 "$dir/kestrova"
done

finish_checks refill_x11
