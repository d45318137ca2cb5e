#!/usr/bin/env bash
# The window as a screen reader sees it (run under xvfb-run): Kestrova
# started with a session bus and an accessibility bus of its own, its
# controls read through AT-SPI. The list must say what it holds, not only
# "list"; the check boxes keep their captions.
# Usage: accessibility_test.sh PATH/TO/kestrova
set -uo pipefail

program=$1
source "$(dirname "$0")/../../../tests/lib.sh" || exit 1
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "SKIP: at-spi2-core is not installed"; exit 77; }
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi is not installed"; exit 77; }

work=$(mktemp -d)
bus_pid=
launcher_pid=
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "$launcher_pid" ] && kill "$launcher_pid" 2>/dev/null
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/runtime"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
{ read -r DBUS_SESSION_BUS_ADDRESS && read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
launcher_pid=$!
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$program" >"$work/app.log" 2>&1 &
pid=$!
window=$(wait_window 'Kestrova .*')
check "window comes up" test -n "$window" || { cat "$work/app.log" >&2; finish_checks accessibility; exit 1; }

# Each control's role and name, one a line.
controls=$(/usr/bin/python3 - <<'PY'
import time
import pyatspi
for _ in range(50):
    apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and "kestrova" in a.name.lower()]
    nodes = []
    for app in apps:
        pyatspi.findAllDescendants(app, lambda n: n is not None and nodes.append(n) and False)
    if any(n.getRoleName() == "list" for n in nodes):
        break
    time.sleep(0.2)
for n in nodes:
    if n.getRoleName() in ("list", "check box"):
        print(f"{n.getRoleName()}|{n.name}")
PY
)
echo "$controls"
check "one list" test "$(grep -c '^list|' <<<"$controls")" -eq 1
check "the list is named for what it holds" grep -qx 'list|ドロップしたファイルのパス' <<<"$controls"
check "the check boxes keep their captions" test "$(grep '^check box|' <<<"$controls" | sort)" = \
  "$(printf 'check box|%s\n' 'CRLFをつける' 'DRIVE-CHG有効' 'タグ<　>を前後につける' | sort)"

finish_checks accessibility
