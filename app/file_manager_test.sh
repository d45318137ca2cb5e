#!/usr/bin/env bash
# The right-click entries in a real file manager (run under xvfb-run), one
# row of the table below per file manager: Kestrova installed into a scratch
# prefix, the file manager started as an unprivileged user with a home and a
# session bus of its own, two items selected (a folder or a file, and a file
# with a space in its name), "Copy path" chosen from the selection's menu
# through the accessibility bus, and the clipboard read from another process;
# then the same on the view's empty background, which copies the folder
# shown; last, where the row says so, none on the trash's background. GNOME
# Files also copies the names. Skips (77) when the file manager is not
# installed.
# Usage: file_manager_test.sh BUILD_FOLDER nautilus|dolphin|caja|thunar|pcmanfm|pcmanfm-qt|nemo
set -uo pipefail

build=$1
manager=$2
source "$(dirname "$0")/../tests/lib.sh" || exit 1

# manager  its menus' names down to the entry  the first item  whether it
# copies names too  whether the view's background has the entries  whether
# the trash's background is checked to have none. Thunar
# has them under "Send To", which its background menu lacks; Caja
# under caja-actions' submenu; PCManFM names an action's item after its
# tooltip. Thunar starts an application once for the folders and once for
# the files of a selection, so there both items are files.
rows="nautilus|Copy path|a dir|names|background
dolphin|Copy path|a dir||background
caja|Caja-Actions actions>Copy path|a dir||background|trash
thunar|Send To>Copy path|a.txt||
pcmanfm|Copy the full paths of the selection to the clipboard|a dir||background|trash
pcmanfm-qt|Copy path|a dir||background
nemo|Copy path|a dir||background"
row=$(grep "^$manager|" <<<"$rows") || { echo "no row for $manager" >&2; exit 2; }
IFS='|' read -r _ menu_path first names background trash <<<"$row"

command -v "$manager" >/dev/null || { echo "SKIP: $manager is not installed"; exit 77; }
[ -n "${DISPLAY:-}" ] || { echo "SKIP: no X server (run it under xvfb-run)"; exit 77; }
if [ "$manager" = caja ] && ! ls /usr/lib/*/caja/extensions-2.0/libcaja-actions-menu.so >/dev/null 2>&1; then
  echo "SKIP: caja-actions is not installed"
  exit 77
fi
if [ "$manager" = nautilus ] && ! ls /usr/lib/*/nautilus/extensions-4/libnautilus-python.so >/dev/null 2>&1; then
  echo "SKIP: python3-nautilus is not installed"
  exit 77
fi

work=$(mktemp -d)
chmod 755 "$work"
# As root the file manager runs as a user of the test's own, which cannot
# write the installed program's folder: the program keeps its settings in
# that user's home, as for anyone using the package.
user=kestrova-file-manager-test
test_user "$user" || { echo "SKIP: cannot create the user $user"; exit 77; }
[ "${#run_as[@]}" -gt 0 ] || user=
bus_pid=
manager_pid=
cleanup() {
  local pid
  echo other | xclip -selection clipboard  # the program's worker ends when its copy is gone
  if [ -n "$user" ]; then
    # The file manager's helpers (gvfsd, kded5, ...) run as the user too.
    for pid in $(pgrep -u "$user"); do kill "$pid" 2>/dev/null; done
    sleep 0.3
    for pid in $(pgrep -u "$user"); do kill -9 "$pid" 2>/dev/null; done
    userdel "$user" 2>/dev/null
  else
    for pid in $manager_pid $bus_pid $(pgrep -f "$work/"); do kill "$pid" 2>/dev/null; done
  fi
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

prefix="$work/usr"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; exit 1; }
chmod a-w "$prefix/bin"
home="$work/home"
runtime="$work/runtime"
files="$home/files"
mkdir -p "$home/.config/kestrova" "$runtime" "$files"
if [ "$first" = "a dir" ]; then mkdir "$files/$first"; else touch "$files/$first"; fi
touch "$files/b c.final.txt"
printf 'TAG-SET=YES\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n' >"$home/.config/kestrova/kestrova.ini"
chmod 700 "$runtime"
shared_xauthority "$work/Xauthority"
# GNOME Files must start the program beside its extension: a kestrova on the
# PATH that copies nothing stands in the way.
path="$prefix/bin:/usr/bin:/bin"
if [ "$manager" = nautilus ]; then
  mkdir "$work/decoy"
  printf '#!/bin/sh\nexit 1\n' >"$work/decoy/kestrova"
  chmod 755 "$work/decoy/kestrova"
  path="$work/decoy:/usr/bin:/bin"
fi
case $manager in
  thunar)  # only the details view shows its files to the accessibility bus
    mkdir -p "$home/.config/xfce4/xfconf/xfce-perchannel-xml"
    cat >"$home/.config/xfce4/xfconf/xfce-perchannel-xml/thunar.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="thunar" version="1.0">
  <property name="default-view" type="string" value="ThunarDetailsView"/>
</channel>
XML
    ;;
esac
[ -n "$user" ] && chown -R "$user" "$home" "$runtime"

as_user() {
  "${run_as[@]}" env -i HOME="$home" PATH="$path" DISPLAY="$DISPLAY" XAUTHORITY="$work/Xauthority" \
    XDG_RUNTIME_DIR="$runtime" XDG_DATA_DIRS="$prefix/share:/usr/share" LANG=C.UTF-8 \
    ${bus:+DBUS_SESSION_BUS_ADDRESS="$bus"} "$@"
}
bus=
{ read -r bus && read -r bus_pid; } < <(as_user dbus-daemon --session --fork --print-address=1 --print-pid=1)
[ -n "$bus" ] || { echo "no session bus" >&2; exit 1; }
as_user /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &

start_manager() {  # [LOCATION]: the files' folder unless told
  local location=${1:-$files} attempt pid
  # By class: GNOME Files' window belongs to a process that D-Bus starts.
  # Up to 20 s: a loaded machine slows a Qt file manager's first window.
  # PCManFM-Qt now and then shows none at all (seen in CI after a restart,
  # its process running): what it waits on goes to the log, and it is ended
  # and started once more.
  for attempt in 1 2; do
    launch_manager "$location"
    window=$({ wait_for xdotool search --onlyvisible --class "$manager" ||
      wait_for xdotool search --onlyvisible --class "$manager"; } 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    echo "$manager: no window after start $attempt" >&2
    for pid in $(pgrep -u "${user:-root}" -x "$manager"); do
      echo "$manager $pid waits in $(cat "/proc/$pid/wchan" 2>/dev/null)" >&2
      command -v gdb >/dev/null && timeout 20 gdb -batch -ex 'thread apply all bt 12' -p "$pid" 2>/dev/null |
        grep -E '^(Thread|#)' >&2
    done
    echo "the clipboard's targets: $(timeout 3 xclip -o -selection clipboard -t TARGETS 2>&1 | tr '\n' ' ')" >&2
    [ "$attempt" = 1 ] && end_manager
  done
  check "$manager: window comes up" test -n "$window" || { cat "$work/manager.log" >&2; exit 1; }
  sleep 1  # the folder is read after the window shows
}
launch_manager() {
  local location=$1
  case $manager in
    nautilus) as_user GDK_BACKEND=x11 GSK_RENDERER=cairo GTK_A11Y=atspi nautilus "$location" ;;
    dolphin|pcmanfm-qt) as_user QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$manager" "$location" ;;
    caja) as_user caja --no-desktop "$location" ;;
    nemo) as_user nemo --no-desktop "$location" ;;
    # GTK 2 reaches the accessibility bus only through these modules.
    pcmanfm) as_user GTK_MODULES=gail:atk-bridge pcmanfm "$location" ;;
    *) as_user "$manager" "$location" ;;
  esac >>"$work/manager.log" 2>&1 &
  manager_pid=$!
}
# Gone, with its bus name, before a new start, which would hand its
# location to the running one.
end_manager() {
  gone() { ! pgrep -u "${user:-root}" -x "$manager" >/dev/null; }
  pkill -u "${user:-root}" -x "$manager"
  wait_for gone || { pkill -KILL -u "${user:-root}" -x "$manager" && wait_for gone; }
}
restart_manager() {
  end_manager
  start_manager "$@"
}
start_manager

# The accessibility bus, as the user: `select NAME...` selects the view's
# items of those names, `choose MENU>...>ENTRY` chooses the entry down the
# menus from the open menu. Items are found by name (or label), so neither
# the entries' places in the menus nor the file manager's own items matter.
cat >"$work/atspi.py" <<'PY'
import sys, time
import pyatspi
manager, command, args = sys.argv[1], sys.argv[2], sys.argv[3:]
def find(wanted):
    for _ in range(50):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and manager in app.name.lower():
                found = pyatspi.findDescendant(app, lambda node: node is not None and wanted(node, app))
                if found:
                    return found
        time.sleep(0.2)
    return None
def label(node):
    # GTK 4.18 leaves a popover menu's items nameless; their labels are
    # the targets of their labelled-by relation.
    if node.name:
        return node.name
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            for i in range(relation.getNTargets()):
                target = relation.getTarget(i)
                if target is not None and "Text" in target.get_interfaces():
                    return target.queryText().getText(0, -1)
    return ""
def shown(app):
    # GTK 4 marks no item as showing: an open menu's items are the visible ones.
    gtk4 = app.toolkitName == "GTK" and app.toolkitVersion.startswith("4.")
    return pyatspi.STATE_VISIBLE if gtk4 else pyatspi.STATE_SHOWING
def open_items(popup=False):  # popup: leaving out the menu bar's
    items = []
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and manager in app.name.lower():
            pyatspi.findAllDescendants(app, lambda node: node is not None and node.getRoleName() in (
                "menu item", "menu") and node.getState().contains(shown(app)) and not (
                popup and node.parent.getRoleName() == "menu bar") and items.append(label(node)))
    return items
def focused(node):
    return node.getState().contains(pyatspi.STATE_FOCUSED) or any(
        child is not None and focused(child) for child in node)
if command == "select":
    # Through the view's selection interface, in the order given: screen
    # positions are not to be had everywhere (GTK 4.18 reports 0,0). The
    # keyboard brings the focus into the view first, where the menu key
    # opens the selection's menu.
    import subprocess
    for _ in range(20):
        view = find(lambda node, _: "Selection" in node.get_interfaces() and any(
            child is not None and label(child) == args[0] or any(
                grandchild is not None and grandchild.name == args[0] for grandchild in child)
            for child in node))
        if view is None or focused(view):
            break
        subprocess.run(["xdotool", "key", "Tab"])
        time.sleep(0.2)
    else:
        sys.exit("the keyboard focus never came into the view")
    for name in args:
        item = find(lambda node, _: node.name == name and node.getRoleName() in ("table cell", "icon", "list item"))
        if not item:
            sys.exit(f"no item {name!r} in the view")
        # The view's own child may be a cell around the named one (GTK 4.8).
        child, view = item, item.parent
        while view is not None and "Selection" not in view.get_interfaces():
            child, view = view, view.parent
        if view is None or not view.querySelection().selectChild(child.getIndexInParent()):
            sys.exit(f"{name!r} could not be selected")
elif command == "selected":
    # Whether the view shows every named item selected, within 2 s.
    for _ in range(10):
        items = [find(lambda node, _: node.name == name and node.getRoleName() in ("table cell", "list item"))
                 for name in args]
        if all(item is not None and item.getState().contains(pyatspi.STATE_SELECTED) for item in items):
            sys.exit(0)
        time.sleep(0.2)
    sys.exit(1)
elif command == "menu":
    # The open menus' items, one a line, once a menu has opened.
    for _ in range(50):
        items = open_items(popup=True)
        if items:
            sys.exit(print("\n".join(items)))
        time.sleep(0.2)
    sys.exit("no menu opened")
elif manager in ("dolphin", "pcmanfm-qt"):
    # Qt 5 leaves popup menus out of the tree: the open menu is met as the
    # parent of the item that Down gives the focus to.
    import subprocess
    from gi.repository import GLib
    chosen = []
    def focused(event):
        if chosen or not event.detail1 or event.source.getRoleName() != "menu item":
            return
        for item in event.source.parent:
            if item is not None and item.name == args[0]:
                chosen.append(item)
                item.queryAction().doAction(0)
                break
        pyatspi.Registry.stop()
    def first_listener():
        # A Qt program heeds the listeners registered after it joined the bus.
        pyatspi.Registry.registerEventListener(focused, "object:state-changed:focused")
        pyatspi.Registry.registerEventListener(lambda _: None, "object:state-changed:showing")
        subprocess.run(["xdotool", "key", "Down"])
        return False
    # Its files are table cells under Qt 5, list items under Qt 6.
    if not find(lambda node, _: node.getRoleName() in ("table cell", "list item")):
        sys.exit("the view never showed")
    GLib.timeout_add(200, first_listener)
    GLib.timeout_add(10000, pyatspi.Registry.stop)
    pyatspi.Registry.start()
    if not chosen:
        sys.exit(f"no menu item {args[0]!r}")
else:
    for name in args[0].split(">"):
        item = find(lambda node, app: node.getRoleName() in ("menu item", "menu") and label(node) == name
                    and node.getState().contains(shown(app)))
        if not item:
            sys.exit(f"no menu item {name!r}; the open menus show {open_items()}")
        item.queryAction().doAction(0)
PY
atspi() { as_user /usr/bin/python3 "$work/atspi.py" "$manager" "$@"; }
choose() { atspi choose "$@"; }
context_menu() {  # selects the two items and opens the selection's menu
  case $manager in
    nautilus)  # the second item first: the paths still come in the view's
      # order; then the menu key, as the view keeps the keyboard focus
      xdotool windowfocus --sync "$window" 2>/dev/null
      atspi select "b c.final.txt" "$first" || return 1
      sleep 0.3
      xdotool key Menu ;;
    dolphin|pcmanfm-qt)  # Ctrl+A again while a busy Dolphin has not taken it yet
      local try
      for try in 1 2 3; do
        xdotool windowfocus --sync "$window" key ctrl+a 2>/dev/null
        atspi selected "$first" "b c.final.txt" && break
      done
      xdotool key Menu ;;
    *) xdotool windowfocus --sync "$window" key ctrl+a 2>/dev/null && sleep 0.3 && xdotool key shift+F10 ;;
  esac
}
box() {  # the message box's window, failing while there is none
  local found
  found=$(xdotool search --onlyvisible --name '^kestrova$' 2>/dev/null | head -n 1)
  [ -n "$found" ] && echo "$found"
}
clipboard_is() { test "$(clipboard)" = "$1"; }

background_menu() {  # a right-click on the view's empty lower right, away from the items;
  # then the pointer off the menu, where it would pick items as the keyboard does
  local WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool windowfocus --sync "$window" mousemove --window "$window" $((WIDTH * 4 / 5)) $((HEIGHT * 4 / 5)) \
    click 3 sleep 0.3 mousemove --window "$window" 5 5 2>/dev/null
}
lines() { local joined; joined=$(printf "$1"'\r\n' "${@:2}"); echo "${joined%$'\r'}"; }

# The selection's menu, then the background's: the entry there, the paths
# (and names) it copies.
for place in selection background; do
  if [ $place = selection ]; then
    open=context_menu copied=("$files/$first" "$files/b c.final.txt")
    copied_names=("${first%.txt}" "b c.final")
  else
    [ -n "$background" ] || continue
    case $manager in
      # Their menus tell only the first client of their focus (PCManFM-Qt
      # since Qt 6).
      dolphin | pcmanfm-qt) restart_manager ;;
    esac
    open=background_menu copied=("$files") copied_names=(files)
  fi
  $open
  check "$manager: Copy path in the $place menu" choose "$menu_path"
  shown=$(wait_for box)
  check "$manager: $place: Copy path shows the box" test -n "$shown"
  check "$manager: $place: the paths, one a line, each edited" wait_for clipboard_is \
    "$(lines '<%s>' "${copied[@]}")" || clipboard | od -c | head >&2
  [ -n "$shown" ] && xdotool windowfocus --sync "$shown" key Return 2>/dev/null

  if [ -n "$names" ]; then
    $open
    check "$manager: Copy file name in the $place menu" choose "${menu_path%Copy path}Copy file name"
    check "$manager: $place: the names, one a line" wait_for clipboard_is "$(lines %s "${copied_names[@]}")"
    check "$manager: $place: no box for names" test -z "$(box)"
  fi
done

# None on the trash's background, which has no path to copy.
if [ -n "$trash" ]; then
  restart_manager trash:///
  background_menu
  items=$(atspi menu)
  check "$manager: the trash's background menu opens" test -n "$items"
  check "$manager: no entry in the trash's background menu" \
    bash -c '! grep -qxF "$1" <<<"$2"' _ "${menu_path%%>*}" "$items" || echo "$items" >&2
fi

finish_checks "file_manager_$manager"
