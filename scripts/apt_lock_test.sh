#!/usr/bin/env bash
# The install that ./scripts/start and ./scripts/test make waits while another
# program holds the package manager's locks (apt-get update's lists lock, then
# dpkg's frontend lock), finishes once they are free, and gives up with a
# message when they stay held past its time. apt, dpkg and their locks are
# the real ones, but on a package database, lists and a one-package
# repository of the test's own: the machine's packages are not touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: dpkg installs only as root" >&2
  exit 77
fi
for tool in python3 dpkg-deb dpkg-scanpackages apt-get; do
  command -v "$tool" >/dev/null || { echo "skipped: no $tool" >&2; exit 77; }
done

t=$(mktemp -d)
chmod 755 "$t"
holder=
cleanup() {
  if [ -n "$holder" ]; then
    kill "$holder" 2>/dev/null || true
    wait "$holder" 2>/dev/null || true
  fi
  rm -rf "$t"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

mkdir -p "$t/pkg/DEBIAN" "$t/repo" "$t/dpkg/updates" "$t/dpkg/info" "$t/state/lists/partial" \
  "$t/cache/archives/partial" "$t/parts" "$t/log" "$t/root"
cat >"$t/pkg/DEBIAN/control" <<'CONTROL'
Package: kestrova-lock-probe
Version: 1
Architecture: all
Maintainer: Kestrova tests <tests@kestrova.invalid>
Description: empty package of the package manager's lock test
CONTROL
dpkg-deb --build "$t/pkg" "$t/repo/probe.deb" >/dev/null
(cd "$t/repo" && dpkg-scanpackages . /dev/null >Packages 2>/dev/null)
echo "deb [trusted=yes] file:$t/repo ./" >"$t/sources.list"
: >"$t/dpkg/status"
# Read before the machine's apt.conf.d, which it replaces with an empty one.
cat >"$t/apt.conf" <<CONF
Dir::Etc::parts "$t/parts";
Dir::Etc::main "/dev/null";
Dir::Etc::sourcelist "$t/sources.list";
Dir::Etc::sourceparts "$t/parts";
Dir::State "$t/state";
Dir::State::status "$t/dpkg/status";
Dir::Cache "$t/cache";
Dir::Log "$t/log";
DPkg::Options { "--instdir=$t/root"; };
CONF
export APT_CONFIG="$t/apt.conf" DPKG_ADMINDIR="$t/dpkg"

# hold SECONDS-PER-LOCK LOCK...: holds each lock (as apt and dpkg do, with
# fcntl) and lets them go one after another, SECONDS apart.
hold() {
  local step=$1
  shift
  rm -f "$t/held"
  python3 -c '
import fcntl, sys, time
step, files = float(sys.argv[1]), sys.argv[3:]
held = [open(f, "w") for f in files]
for f in held:
    fcntl.lockf(f, fcntl.LOCK_EX)
open(sys.argv[2], "w").close()
for f in held:
    time.sleep(step)
    f.close()' "$step" "$t/held" "$@" &
  holder=$!
  local i
  for ((i = 0; i < 100; i++)); do
    [ -e "$t/held" ] && return 0
    sleep 0.1
  done
  fail "the locks were not taken within 10 s"
}
install_probe() {
  (source "$root/scripts/deps.sh" && kestrova_install_missing kestrova-lock-probe) >"$t/out" 2>&1
}

# Held for 3 s each: the update waits for the lists, the install for dpkg.
hold 3 "$t/state/lists/lock" "$t/dpkg/lock-frontend"
install_probe || { cat "$t/out" >&2; fail "the install did not wait for the locks"; }
dpkg-query -W kestrova-lock-probe >/dev/null || fail "the package was not installed"
for lock in lists/lock lock-frontend; do
  grep -q "package manager is busy.*$lock" "$t/out" || { cat "$t/out" >&2; fail "no word of the wait on $lock"; }
done
wait "$holder"
holder=

# Held for longer than the time allowed: a failure that says why, in time.
: >"$t/dpkg/status"
hold 60 "$t/dpkg/lock-frontend"
start=$SECONDS
status=0
KESTROVA_APT_LOCK_TIMEOUT=3 install_probe || status=$?
[ "$status" -ne 0 ] || fail "the install succeeded under a held lock"
[ $((SECONDS - start)) -ge 3 ] || fail "the install gave up before its time"
[ $((SECONDS - start)) -lt 30 ] || fail "the install waited past its time"
grep -q "stayed busy for 3 s" "$t/out" || { cat "$t/out" >&2; fail "no word of the time out"; }
echo "PASS"
