#!/usr/bin/env bash
# Many starts at once on a real X server (run under xvfb-run), as a file
# manager does for a selection: every start ends with status 0, file-name
# mode shows no message, the settings file keeps its bytes, and no process
# of the program is left once another program takes the clipboard.
# Prints how long the starts took and how long the workers took to end.
# Usage: many_starts_test.sh PATH/TO/kestrova
set -uo pipefail

program=$1
work=$(mktemp -d)
dir="$work/many"
cleanup() {
  local pid
  for pid in $(pgrep -f "$dir/kestrova"); do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/../../tests/lib.sh"

mkdir -p "$dir"
copy_program "$program" "$dir"
# Written as the program writes it, so a rewrite at close gives these bytes.
printf '%b' '. note\r\nDRIVE-CHG=X,\\\\realpath\\\r\nDRIVE-CHG-SET=YES\r\nCRLF-SET=NO\r\nTAG-SET=YES\r\n@\r\nkept as is\r\n' \
  >"$dir/kestrova.ini"
before=$(md5sum <"$dir/kestrova.ini")

elapsed() { local ms=$(($(now) - $1)); printf '%d.%03d' $((ms / 1000)) $((ms % 1000)); }
windows() { xdotool search --name '^kestrova$' 2>/dev/null; }

# Another program takes the clipboard; every worker must end within 3 s.
take_over() {
  local what=$1 started
  started=$(now)
  echo other | xclip -selection clipboard
  check "$what: no process left 3 s after another program took the clipboard" gone_within 3 "$dir/kestrova"
  echo "$what: workers gone $(elapsed "$started") s after the take-over"
  pgrep -af "$dir/kestrova" >&2
}

# 1. File-name mode, 30 at once. A message box would hold its start until
#    the timeout (which ends the start's whole process group).
n=30
started=$(now)
for i in $(seq "$n"); do
  timeout 30 "$dir/kestrova" '$FILENAME$' "/x/file$i.txt" 2>/dev/null &
  pids[i]=$!
done
# A message box would be gone with its start at the timeout: look meanwhile.
(while :; do windows >>"$work/seen"; sleep 0.2; done) &
watcher=$!
statuses=()
for i in $(seq "$n"); do
  wait "${pids[i]}"
  statuses+=($?)
done
kill "$watcher"
wait "$watcher" 2>/dev/null
echo "file-name mode: $n starts returned after $(elapsed "$started") s"
check "file-name mode: all $n starts end with status 0 (got ${statuses[*]})" \
  test "$(printf '%s\n' "${statuses[@]}" | sort -u)" = 0
check "file-name mode: no message window" test ! -s "$work/seen"
check "file-name mode: one of the names is on the clipboard" grep -qx 'file[0-9]*' <<<"$(clipboard)"
check "file-name mode: settings file keeps its bytes" test "$(md5sum <"$dir/kestrova.ini")" = "$before"
check "file-name mode: no temporary file left beside it" \
  test "$(ls "$dir" | grep -v '^kestrova-qt\.so$' | sort | tr '\n' ' ')" = "kestrova kestrova.BAK kestrova.ini "
take_over "file-name mode"

# 2. Plain paths, 6 at once: each shows its message; pressed OK, each ends
#    with status 0 (a false clipboard failure ends with 1).
n=6
for i in $(seq "$n"); do
  timeout 60 "$dir/kestrova" "/x/plain$i.txt" 2>/dev/null &
  pids[i]=$!
done
declare -A shown=()
for _ in $(seq 400); do
  left=0
  for i in $(seq "$n"); do kill -0 "${pids[i]}" 2>/dev/null && left=$((left + 1)); done
  [ "$left" -eq 0 ] && break
  for win in $(windows); do
    shown[$win]=1
    xdotool windowfocus --sync "$win" key Return 2>/dev/null
  done
  sleep 0.1
done
statuses=()
for i in $(seq "$n"); do
  wait "${pids[i]}"
  statuses+=($?)
done
check "plain paths: a message box for each start" test "${#shown[@]}" -ge "$n"
check "plain paths: all $n starts end with status 0 (got ${statuses[*]})" \
  test "$(printf '%s\n' "${statuses[@]}" | sort -u)" = 0
check "plain paths: one of the tagged paths is on the clipboard" grep -qx '</x/plain[0-9]*.txt>' <<<"$(clipboard)"
check "plain paths: settings file keeps its bytes" test "$(md5sum <"$dir/kestrova.ini")" = "$before"
take_over "plain paths"

finish_checks many_starts
