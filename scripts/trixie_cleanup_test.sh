#!/usr/bin/env bash
# scripts/test-trixie runs as root and removes the folder it made: killed at
# each stage, with TERM or KILL, it leaves no process and no mount, and its
# folder is gone at once (TERM) or after the next run's sweep (KILL). The
# removal fails closed: a findmnt that fails, a run that still holds its
# folder, a folder of another user or a link are never removed. debootstrap
# and chroot are stand-ins that mount inside the system as the real ones do,
# then wait or end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ] || ! unshare --mount --propagation private --pid --fork --mount-proc true 2>/dev/null; then
  echo "skipped: needs root and namespaces" >&2
  exit 77
fi

t=$(mktemp -d)
run=
holder=
cleanup() {
  local p
  for p in $run $holder; do
    kill -KILL "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  if findmnt -rn -o TARGET | grep "^$t/"; then
    echo "FAIL: mounts left under $t, which stays" >&2
    exit 1
  fi
  rm -rf --one-file-system "$t"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ ! -e "$t/out" ] || sed 's/^/  | /' "$t/out" >&2
  exit 1
}
# until_true SECONDS COMMAND...: every wait here has an end.
until_true() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}

mkdir -p "$t/bin" "$t/nofindmnt" "$t/runs" "$t/victim"
# STAND_IN_STOP names the stage whose stand-in waits instead of ending.
cat >"$t/bin/debootstrap" <<'STUB'
#!/bin/bash
sys=${@: -2:1}
mkdir -p "$sys"/{dev/pts,dev/shm,sys,proc,etc/apt,usr/sbin,root,var/cache/apt/archives}
mount -t tmpfs stand-in "$sys/proc"
stage=debootstrap
STUB
cat >"$t/bin/chroot" <<'STUB'
#!/bin/bash
case "$*" in
  *dpkg-query*) echo stand-in; exit 0 ;;
  *kestrova_install_missing*) stage=install ;;
  *) stage=tests ;;
esac
STUB
for stub in debootstrap chroot; do
  cat >>"$t/bin/$stub" <<'STUB'
if [ "$STAND_IN_STOP" = "$stage" ]; then
  touch "$STAND_IN_DIR/$stage.reached"
  exec -a "$STAND_IN_DIR/$stage" sleep 120
fi
exit "${STAND_IN_STATUS:-0}"
STUB
done
chmod +x "$t/bin/"*

# trixie [ENV...]: starts a run in the background, as ./scripts/test does.
trixie() {
  env KESTROVA_TRIXIE_RUNS="$t/runs" KESTROVA_TRIXIE_CACHE="$t/cache" PATH="$t/bin:$PATH" \
    STAND_IN_DIR="$t" STAND_IN_STOP= "$@" "$root/scripts/test-trixie" --wait-for "$t/go" >"$t/out" 2>&1 &
  run=$!
}
# A run that ends by itself, failing at its install: its status.
quick_run() {
  trixie STAND_IN_STATUS=1
  local status=0
  wait "$run" || status=$?
  run=
  return "$status"
}
folders() { find "$t/runs" -mindepth 1 -maxdepth 1 -name 'kestrova-trixie.*' | wc -l; }
no_mounts() { ! findmnt -rn -o TARGET | grep -q "^$t/"; }

# Killed at each stage (debootstrap first: no system is cached yet): a run
# killed outright is swept by the next, TERM removes the folder at once.
for row in debootstrap:KILL install:KILL install:TERM wait:KILL tests:KILL; do
  stage=${row%:*} signal=${row#*:}
  what="killed with $signal at $stage"
  rm -f "$t"/*.reached "$t/go"
  if [ "$stage" = tests ]; then touch "$t/go"; fi
  trixie STAND_IN_STOP="$stage"
  if [ "$stage" = wait ]; then
    until_true 60 grep -q 'packages installed' "$t/out" || fail "$what: the wait not reached"
  else
    until_true 60 test -e "$t/$stage.reached" || fail "$what: the stage not reached"
  fi
  kill "-$signal" "$run"
  status=0
  wait "$run" 2>/dev/null || status=$?
  run=
  until_true 10 eval '! pgrep -f "^$t/" >/dev/null' || fail "$what: a process left"
  no_mounts || fail "$what: mounts left"
  if [ "$signal" = TERM ]; then
    [ "$status" -eq 143 ] || fail "$what: exit $status"
  else
    quick_run && fail "$what: the run after it did not fail at its install"
  fi
  [ "$(folders)" -eq 0 ] || fail "$what: folders left: $(ls "$t/runs")"
done

# A findmnt that fails or lists nothing: the run's folder and the one it
# would sweep stay; with findmnt back, both go.
printf '#!/bin/sh\nexit 1\n' >"$t/nofindmnt/findmnt"
printf '#!/bin/sh\nexit 0\n' >"$t/nofindmnt/findmnt.empty"
chmod +x "$t/nofindmnt/"*
for kind in "" .empty; do
  cp "$t/nofindmnt/findmnt$kind" "$t/bin/findmnt"
  quick_run && fail "findmnt$kind: the run succeeded"
  grep -q 'findmnt cannot list the mounts' "$t/out" || fail "findmnt$kind: not said"
done
rm "$t/bin/findmnt"
[ "$(folders)" -eq 2 ] || fail "removed without the mounts known: $(folders) folders of 2 left"
quick_run || true
[ "$(folders)" -eq 0 ] || fail "not swept with findmnt back: $(ls "$t/runs")"

# What the sweep leaves: a run that holds its folder, another user's
# folder, a link.
mkdir "$t/runs/kestrova-trixie.live" "$t/runs/kestrova-trixie.user"
touch "$t/victim/file"
chown nobody "$t/runs/kestrova-trixie.user"
ln -s "$t/victim" "$t/runs/kestrova-trixie.link"
flock "$t/runs/kestrova-trixie.live" sleep 120 &
holder=$!
until_true 10 eval 'lslocks -n -o PATH | grep -qx "$t/runs/kestrova-trixie.live"' || fail "the live run's lock not taken"
quick_run || true
for kept in live user link; do
  [ -e "$t/runs/kestrova-trixie.$kept" ] || fail "the sweep removed kestrova-trixie.$kept"
done
[ -e "$t/victim/file" ] || fail "the sweep followed a link"
echo PASS
