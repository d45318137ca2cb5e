#!/usr/bin/env bash
# Sourced by every shell test: counted checks, waiting (for a command, a
# window, processes to end), the clipboard, running as another user, and a
# Wine prefix.

failures=0
passes=0

check() {  # check NAME CONDITION...: counts, and names a failure
  local name=$1
  shift
  if "$@"; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    echo "FAIL: $name" >&2
    return 1
  fi
}

finish_checks() {  # finish_checks NAME: the closing count, and the exit status
  echo "$1: $passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}

now() { echo $(($(date +%s%N) / 1000000)); }  # milliseconds

# contrast PNG X Y W H: the contrast ratio (as WCAG defines it, on relative
# luminance) between the dark and the light end of the pixels in that
# rectangle of the screenshot PNG. Text pixels are few and their edges blend
# into the background, so the darkest and lightest half per cent stand for
# the two colours; a lone stray pixel does not.
contrast() {
  convert "$1" -crop "$4x$5+$2+$3" +repage -depth 8 rgb:- | od -An -v -tu1 | awk '
    function linear(c) { c /= 255; return c <= 0.04045 ? c / 12.92 : ((c + 0.055) / 1.055) ^ 2.4 }
    { for (i = 1; i <= NF; i++) { rgb[n % 3] = $i; if (++n % 3 == 0) print 0.2126 * linear(rgb[0]) + 0.7152 * linear(rgb[1]) + 0.0722 * linear(rgb[2]) } }' |
    sort -g | awk '{ l[NR] = $1 } END { printf "%.2f\n", (l[int(0.995 * (NR - 1)) + 1] + 0.05) / (l[int(0.005 * (NR - 1)) + 1] + 0.05) }'
}

wait_for() {  # waits up to 10 s for the command $@ to succeed
  local i
  for i in $(seq 100); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# wait_window NAME [PID]: prints the first visible X11 window named exactly
# NAME (of process PID, when given), waiting up to 20 s.
wait_window() {
  local i
  for i in $(seq 200); do
    xdotool search --all --onlyvisible ${2:+--pid "$2"} --name "^$1\$" 2>/dev/null | head -n 1 && return 0
    sleep 0.1
  done
  return 1
}

# drag_onto_list SOURCE_WINDOW MENU OUT: drags what a drag_source window
# (printing to OUT) offers onto the list of the program's window, which
# stands at the screen's top left under a menu bar MENU pixels high; X11
# carries the drag through the pointer's own moves.
drag_onto_list() {
  drag_to "$1" 250 $(($2 + 140)) "$3"
}

# drag_to SOURCE_WINDOW X Y OUT: drags from a drag_source window to the
# screen point X,Y as a hand does, and lets go once a target said it takes a
# copy ("accepted" in OUT), or after 5 s if none does: on a loaded machine
# the target's answer can come after any fixed pause. Each point is still
# held a moment, as an "accepted" may be the answer about an earlier one.
drag_to() {
  local step i
  xdotool windowmove --sync "$1" 700 500
  xdotool mousemove --sync 760 540 mousedown 1
  sleep 0.3
  for step in "700 400" "500 300" "$(($2 + 10)) $(($3 + 10))" "$2 $3"; do
    xdotool mousemove --sync $step
    sleep 0.2
  done
  for i in $(seq 50); do
    grep -qx accepted "$4" 2>/dev/null && break
    sleep 0.1
  done
  xdotool mouseup 1
}

# start_openbox READY_FILE: starts openbox, its pid in $wm, and waits until it
# has taken over the windows already there (its startup command runs then).
# A window mapped while openbox is still starting can stay unmapped for good
# on a loaded machine, so a test's first window must not race it.
start_openbox() {
  openbox --startup "touch $1" >/dev/null 2>&1 &
  wm=$!
  local i
  for i in $(seq 300); do
    [ -e "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# running_beside DIR PIDS N: N processes of the program in DIR run besides
# PIDS (an extended regular expression; zombies, whose command line is gone,
# are not counted).
running_beside() { test "$(pgrep -f "$1/kestrova" | grep -cvxE "$2")" -eq "$3"; }
# no_zombie_under PID: no child of PID is a zombie now. Wait for it: a child
# that has just ended is one until its parent reaps it a moment later, and a
# loaded machine stretches that moment; only one that stays is a leak.
no_zombie_under() { ! ps -o stat= --ppid "$1" | grep -q Z; }

# small_keeper_left LABEL DIR: once the start ended (its window closed),
# exactly one process of the program in DIR is left, holding at most 4 MB resident (a sanitizer's
# shadow memory is no part of the program's own size); its size goes into
# $keeper_rss.
small_keeper_left() {
  local keeper
  check "$1: one keeper left" wait_for running_beside "$2" none 1 || return 1
  keeper=$(pgrep -f "$2/kestrova")
  keeper_rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$keeper/status" 2>/dev/null)
  grep -q libasan "/proc/$keeper/maps" 2>/dev/null ||
    check "$1: the keeper holds at most 4 MB (${keeper_rss:-?} kB)" test "${keeper_rss:-99999}" -le 4096
}

# gone_within SECONDS PATTERN: waits until no process's command line matches
# PATTERN (as pgrep -f reads it); fails if one is left after SECONDS.
gone_within() {
  local deadline=$(($(now) + $1 * 1000))
  while pgrep -f "$2" >/dev/null; do
    [ "$(now)" -gt "$deadline" ] && return 1
    sleep 0.05
  done
}

# copy_program PROGRAM FOLDER: a copy of the built program in FOLDER, with the
# Qt module it loads for a window or a box beside it (found there first; a
# sanitizer's dlopen does not look along the program's library path).
copy_program() {
  cp "$1" "$2/kestrova" && if [ -e "${1%/*}/kestrova-qt.so" ]; then cp "${1%/*}/kestrova-qt.so" "$2/"; fi
}

clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null; }

# kept_without_qt FOLDER: the newest process of the program in FOLDER (its
# keeper) runs and never loaded Qt.
kept_without_qt() {
  local pid
  pid=$(pgrep -n -f "$1/kestrova")
  [ -n "$pid" ] && ! grep -q libQt6 "/proc/$pid/maps"
}

# test_user NAME: as root, a system user of the test's own (made when
# missing; one a killed run left behind is taken as it is) and run_as, the
# words that run a command as that user; as anyone else, run_as empty.
# Fails when the user cannot be made.
test_user() {
  run_as=()
  [ "$(id -u)" -eq 0 ] || return 0
  if ! id "$1" >/dev/null 2>&1; then
    useradd -r -M -d /nonexistent -s /usr/sbin/nologin "$1" || return 1
  fi
  run_as=(setpriv --reuid="$1" --regid="$(id -g "$1")" --clear-groups)
}

# Root may read and write everything: the faults that file permissions make
# are met only as another user.
can_run_as_nobody() { command -v setpriv >/dev/null && id nobody >/dev/null 2>&1; }
as_nobody() { setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups "$@"; }
# shared_xauthority FILE: a copy of the X authority another user may read
# (xvfb-run keeps its own in a private folder).
shared_xauthority() { cp "${XAUTHORITY:-$HOME/.Xauthority}" "$1" 2>/dev/null || : >"$1"; chmod 644 "$1"; }

# wine_env FOLDER [DLL-OVERRIDES]: Wine's settings for this shell and what it
# starts, with the prefix in FOLDER; wine_prefix also makes that prefix
# afresh, and wine_stop ends its server.
wine_env() { export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=${2:+;$2}"; }
wine_prefix() {
  wine_env "$@"
  wineboot -i >/dev/null 2>&1
}
wine_stop() { wineserver -k 2>/dev/null || true; }

# wayland_timings RUNS FOLDER: the program in FOLDER in file-name mode and
# wl-copy, alternating, RUNS times each: from start to exit, and from start
# to pasted by a Wayland program (medians in ms); then each one's keeper's
# resident and proportional size. The caller defines as_user (how a command runs in its
# session) and pasted (whether a Wayland program pastes exactly $1). A
# benchmark, not a check.
wayland_timings() {
  local runs=$1 dir=$2 i times
  times=$(mktemp)
  us() { echo $(($(date +%s%N) / 1000)); }
  one() {  # one TEXT COMMAND...: "start-to-exit start-to-pasted" in microseconds
    local text=$1 start ended
    shift
    start=$(us)
    as_user "$@" 2>/dev/null
    ended=$(us)
    until pasted "$text"; do :; done
    echo "$((ended - start)) $(($(us) - start))"
  }
  for i in $(seq "$runs"); do
    echo "$(one "k$i" "$dir/kestrova" '$FILENAME$' "/x/k$i.txt") $(one "w$i" wl-copy "w$i")" >>"$times"
  done
  median() {  # of thousandths: as a number with $1 decimals
    sort -n | awk -v d="${1:-1}" '{a[NR]=$1} END {printf "%.*f", d, a[int((NR+1)/2)] / 1000}'
  }
  echo "file-name mode, median of $runs: start to exit $(cut -d' ' -f1 "$times" | median) ms," \
    "start to pasted $(cut -d' ' -f2 "$times" | median) ms"
  echo "wl-copy, median of $runs: start to exit $(cut -d' ' -f3 "$times" | median) ms," \
    "start to pasted $(cut -d' ' -f4 "$times" | median) ms"
  echo "ratio of start to pasted, median of the pairs: $(awk '{printf "%d\n", $2 * 1000 / $4}' "$times" | median 2)"
  rm -f "$times"
  as_user "$dir/kestrova" '$FILENAME$' /x/rss.txt 2>/dev/null
  sleep 0.2
  memory() { awk '/^(Rss|Pss):/ {printf "%s %s kB  ", $1, $2}' "/proc/$1/smaps_rollup"; echo; }
  echo "keeper's memory: $(memory "$(pgrep -n -f "$dir/kestrova")")"
  as_user wl-copy rss 2>/dev/null
  sleep 0.2
  echo "wl-copy's keeper's memory: $(memory "$(pgrep -x -n wl-copy)")"
  as_user wl-copy other 2>/dev/null
}

# readers_beside_killed NAME FOLDER: the load every keeper takes, the same on
# each clipboard. The program in FOLDER copies about 1 MB in file-name mode
# (random parts, so that a piece out of place shows); a reader is stopped
# halfway and killed while 19 others paste it at once, and each of those gets
# every byte; then another program copies and the keeper ends. The caller
# defines load_run (runs a command in its session), load_paste (prints the
# clipboard), load_stuck (starts a reader that stops halfway, its pid in
# $victim) and load_other (another program copies "other").
readers_beside_killed() {
  local name=$1 dir=$2 parts=() readers=() i whole=0 started out
  out=$(mktemp -d)
  for i in $(seq 10); do
    parts+=("$(head -c 75000 /dev/urandom | base64 -w 0 | tr '/' '_')")
  done
  printf '%s' "${parts[*]}" >"$out/expected"
  load_run timeout 10 "$dir/kestrova" '$FILENAME$' "/x/${parts[0]}" "${parts[@]:1}"
  check "$name: a 1 MB copy ends with status 0" test $? -eq 0
  load_stuck
  started=$(now)
  for i in $(seq 19); do
    load_paste >"$out/$i" &
    readers+=($!)
  done
  { kill -9 "$victim"; wait "$victim"; } 2>/dev/null
  for i in $(seq 19); do
    wait "${readers[$((i - 1))]}" && cmp -s "$out/expected" "$out/$i" && whole=$((whole + 1))
  done
  check "$name: 19 readers at once beside a killed one each get the whole text ($whole did)" test "$whole" -eq 19
  echo "$name: 19 readers of $(wc -c <"$out/expected") bytes done in $(($(now) - started)) ms"
  rm -rf "$out"
  load_other
  check "$name: the keeper ends once another program copies" gone_within 3 "$dir/kestrova"
  check "$name: the other program's text is there" test "$(load_paste)" = other
}
