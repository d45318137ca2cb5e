#!/usr/bin/env bash
# Many starts at once on a real X server (run under xvfb-run), as a file
# manager does for a selection: every start ends with status 0, file-name
# mode shows no message, the settings file keeps its bytes, no process
# of the program is left once another program takes the clipboard, and the
# user's own files beside the settings keep theirs through every kind of
# start (file name, box, window, first start, killed).
# Prints how long the starts took and how long the workers took to end.
# Usage: many_starts_test.sh PATH/TO/kestrova
set -uo pipefail

program=$1
work=$(mktemp -d)
dir="$work/many"
cleanup() {
  local pid
  for pid in $(pgrep -f "$work/"); do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/../../tests/lib.sh"

mkdir -p "$dir"
copy_program "$program" "$dir"
# The user's files beside the settings, some named much as a temporary file
# of the program's once was or now is, each with bytes of its own; a link
# named exactly as ours stays, and so does what it names.
lay_out_user_files() {
  local name
  for name in kestrova.ini.backup kestrova.ini.orig01 kestrova.ini.2026ab kestrova.BAK.saved1 ini.ini.backup \
    notes.txt kestrova.ini.kestrova-temp-AbC12 kestrova.ini.kestrova-temp-AbC1234 \
    kestrova.ini.Kestrova-temp-AbC123 kestrova.BAK.kestrova-temp-Ab_123; do
    printf 'mine: %s\n' "$name" >"$1/$name"
  done
  ln -s notes.txt "$1/kestrova.ini.kestrova-temp-link01"
  (cd "$1" && md5sum kestrova.ini.?* kestrova.BAK.?* ini.ini.backup notes.txt) >"$1.user"
}
# Temporary files of the program's beside the settings (a link is none).
temporaries() {
  find "$dir" -maxdepth 1 -type f -regextype posix-extended \
    -regex '.*/kestrova\.(ini|BAK)\.kestrova-temp-[A-Za-z0-9]{6}' | wc -l
}
user_files_kept() { (cd "$1" && md5sum --quiet -c "$1.user") && test -L "$1/kestrova.ini.kestrova-temp-link01"; }
lay_out_user_files "$dir"
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
check "file-name mode: no temporary file left beside it" test "$(temporaries)" -eq 0
check "file-name mode: the user's files keep their bytes" user_files_kept "$dir"
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
check "plain paths: the user's files keep their bytes" user_files_kept "$dir"
take_over "plain paths"

# 2a. The window (killed once shown: it has read the settings by then) and a
#     first start, which creates the settings beside the user's files.
"$dir/kestrova" 2>/dev/null &
caller=$!
check "window: shown" test -n "$(wait_window 'Kestrova  kestrova   Version:2.6.1')"
kill "$caller"
wait "$caller" 2>/dev/null
# Its worker outlives an ended window for a while (not what this case is about).
for pid in $(pgrep -f "$dir/kestrova"); do kill "$pid" 2>/dev/null; done
check "window: the user's files keep their bytes" user_files_kept "$dir"
first="$work/first"
mkdir -p "$first"
copy_program "$program" "$first"
lay_out_user_files "$first"
timeout 30 "$first/kestrova" '$FILENAME$' /x/first.txt 2>/dev/null
check "first start: ends with status 0 and creates the settings" test $? -eq 0 -a -f "$first/kestrova.ini"
check "first start: the user's files keep their bytes" user_files_kept "$first"
take_over "window and first start"
for pid in $(pgrep -f "$first/kestrova"); do kill "$pid" 2>/dev/null; done

# 3. Starts killed at random moments, each while it may be rewriting the
#    settings (option lines written otherwise than the program writes them
#    make every close write new bytes): the file is never torn. Then one
#    killed for certain while its temporary file is written (at its first
#    fsync, by strace): that file goes with the next start, the user's stay.
spelled='. note\r\ntag-set = YES\r\ncrlf-set = NO\r\n'
rewritten='. note\r\nTAG-SET=YES\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n'
# Most of a start is spent before its close: the moments are drawn from
# the later part of how long one start takes here.
printf '%b' "$spelled" >"$dir/kestrova.ini"
started=$(now)
timeout 30 "$dir/kestrova" '$FILENAME$' /x/timed.txt 2>/dev/null
span=$(($(now) - started))
torn=0
left_most=0
for i in $(seq 60); do
  printf '%b' "$spelled" >"$dir/kestrova.ini"
  "$dir/kestrova" '$FILENAME$' "/x/killed$i.txt" 2>/dev/null &
  pid=$!
  delay=$((span / 2 + RANDOM % (span * 2 / 3 + 1)))
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  now_ini=$(cat "$dir/kestrova.ini"; echo .)
  [ "$now_ini" = "$(printf '%b.' "$spelled")" ] || [ "$now_ini" = "$(printf '%b.' "$rewritten")" ] || torn=$((torn + 1))
  left=$(temporaries)
  [ "$left" -gt "$left_most" ] && left_most=$left
done
echo "killed starts: at most $left_most temporary files beside the settings at once"
check "killed starts: the settings file never torn ($torn times)" test "$torn" -eq 0
printf '%b' "$spelled" >"$dir/kestrova.ini"
strace -f -qq -o /dev/null -e trace=fsync -e inject=fsync:signal=KILL \
  "$dir/kestrova" '$FILENAME$' /x/killed.txt 2>/dev/null &
tracer=$!
temporary_left() { test "$(temporaries)" -ge 1; }
check "killed mid-write: its temporary file is left" wait_for temporary_left
echo other | xclip -selection clipboard  # strace returns once its keeper ends too
wait "$tracer" 2>/dev/null  # ends as its tracee did, by SIGKILL
timeout 30 "$dir/kestrova" '$FILENAME$' /x/after.txt 2>/dev/null
check "killed starts: the next start ends with status 0" test $? -eq 0
check "killed starts: no temporary file outlives the next start" test "$(temporaries)" -eq 0
check "killed starts: the user's files keep their bytes" user_files_kept "$dir"
take_over "killed starts"

finish_checks many_starts
