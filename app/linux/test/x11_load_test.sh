#!/usr/bin/env bash
# The X11 keeper under load (run under xvfb-run): 20 readers at once of a
# text that goes whole, ten times; then the load that wayland_test shares
# (readers_beside_killed), whose 1 MB goes piece by piece (INCR).
# Usage: x11_load_test.sh PATH/TO/kestrova PATH/TO/selection_test
set -uo pipefail

program=$1
reader=$2
source "$(dirname "$0")/../../../tests/lib.sh" || exit 1
for tool in xclip base64; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/deps.sh lists it)"
    exit 77
  fi
done

work=$(mktemp -d)
cleanup() {
  local pid
  for pid in $(pgrep -f "$work/"); do kill -9 "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
dir="$work/load"
mkdir -p "$dir"
copy_program "$program" "$dir"
cp "$reader" "$work/selection_test"
reader=$work/selection_test

# 20 readers at once of a text that goes whole in one request each, ten
# times: the keeper's writes fill the socket, and the requests that come in
# meanwhile must be served without waiting for yet another event.
random_part() { head -c 75000 /dev/urandom | base64 -w 0 | tr '/' '_'; }
small=("$(random_part)" "$(random_part)")
printf '%s' "${small[*]}" >"$work/expected"
timeout 10 "$dir/kestrova" '$FILENAME$' "/x/${small[0]}" "${small[1]}"
whole=0
for round in $(seq 10); do
  readers=()
  for i in $(seq 20); do
    timeout 5 xclip -o -selection clipboard >"$work/out$i" 2>/dev/null &
    readers+=($!)
  done
  for i in $(seq 20); do
    wait "${readers[$((i - 1))]}" && cmp -s "$work/expected" "$work/out$i" && whole=$((whole + 1))
  done
done
check "10 times 20 readers at once of 200 kB each get the whole text ($whole of 200 did)" test "$whole" -eq 200

# The one killed takes the first piece and waits there, mid-transfer.
load_run() { "$@"; }
load_paste() { timeout 20 xclip -o -selection clipboard 2>/dev/null; }
load_stuck() {
  "$reader" --halfway >"$work/victim" &
  victim=$!
  check "a reader stops halfway" wait_for grep -q halfway "$work/victim"
}
load_other() { echo other | xclip -selection clipboard; }
readers_beside_killed x11_load "$dir"

finish_checks x11_load
