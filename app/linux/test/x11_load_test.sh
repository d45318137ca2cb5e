#!/usr/bin/env bash
# The X11 keeper under load (run under xvfb-run): 20 readers paste a text of
# about 1 MB at once, piece by piece (INCR), one of them killed halfway; the
# others get every byte and the keeper still ends once another program
# copies. A reader that asks again into the same property gets the text from
# its beginning, and MULTIPLE answers each of its targets or refuses it.
# Usage: x11_load_test.sh PATH/TO/kestrova PATH/TO/x11_reader
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
cp "$reader" "$work/x11_reader"
reader=$work/x11_reader

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

# Ten names of 100,000 characters, none of them existing, in file-name mode:
# the whole line after the marker is one name, so the clipboard gets the
# ten parts joined by spaces (random, so that a piece out of place shows).
parts=()
for i in $(seq 10); do
  parts+=("$(random_part)")
done
printf '%s' "${parts[*]}" >"$work/expected"
timeout 10 "$dir/kestrova" '$FILENAME$' "/x/${parts[0]}" "${parts[@]:1}"
check "1 MB copy ends with status 0" test $? -eq 0
echo "text of $(wc -c <"$work/expected") bytes"

# The one killed: it takes the first piece and waits there, mid-transfer.
"$reader" halfway >"$work/victim" &
victim=$!
check "a reader stops halfway" wait_for grep -q halfway "$work/victim"
started=$(now)
readers=()
for i in $(seq 19); do
  timeout 20 xclip -o -selection clipboard >"$work/out$i" 2>/dev/null &
  readers+=($!)
done
{ kill -9 "$victim"; wait "$victim"; } 2>/dev/null
whole=0
for i in $(seq 19); do
  wait "${readers[$((i - 1))]}" && cmp -s "$work/expected" "$work/out$i" && whole=$((whole + 1))
done
check "19 readers at once beside a killed one each get the whole text ($whole did)" test "$whole" -eq 19
echo "19 readers of $(wc -c <"$work/expected") bytes done in $(($(now) - started)) ms"

# Asked again into the same property halfway through: from the beginning.
timeout 20 "$reader" again >"$work/again"
check "a transfer asked for again starts from the beginning" cmp -s "$work/expected" "$work/again"

echo other | xclip -selection clipboard
check "the loaded keeper ends once another program copies" gone_within 3 "$dir/kestrova"
check "the other program's text is there" test "$(clipboard)" = other

# MULTIPLE: each target answered into its own property, an unknown one refused.
timeout 10 "$dir/kestrova" '$FILENAME$' /x/small.txt
timeout 10 "$reader" multiple UTF8_STRING KESTROVA_NO_SUCH_TARGET STRING >"$work/multiple"
check "MULTIPLE answers each pair and refuses the unknown target" test "$(cat "$work/multiple")" = \
  "$(printf 'UTF8_STRING: small\nKESTROVA_NO_SUCH_TARGET refused\nSTRING: small')"
echo other | xclip -selection clipboard
check "ends after MULTIPLE once another program copies" gone_within 3 "$dir/kestrova"

finish_checks x11_load
