# GNOME Files' extension without GNOME Files: the configured file loaded
# from a scratch prefix whose bin/kestrova records its arguments, offered
# selections of stand-in files (only their locations matter to it), its
# entries activated. What a run in GNOME Files does not reach: selections
# with an item without a path, the background of a location without one,
# Japanese labels, and paths that a shell would have changed. Skips (77) without python3-nautilus.
# Usage: nautilus_extension_test.py CONFIGURED_EXTENSION
import os
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import gi
    gi.require_version("Nautilus", "4.0")
    from gi.repository import Gio, GLib  # noqa: F401
except (ImportError, ValueError) as error:
    print(f"SKIP: no nautilus-python 4.0 ({error})")
    sys.exit(77)

work = tempfile.mkdtemp()
failures = []


def check(name, condition):
    if not condition:
        failures.append(name)
        print(f"FAIL: {name}", file=sys.stderr)


class Item:
    """What the extension asks of Nautilus.FileInfo."""
    def __init__(self, uri):
        self.uri = uri

    def get_location(self):
        return Gio.File.new_for_uri(self.uri)


class Lent(Item):
    """An item of a GVFS location that its FUSE folder lends a path."""
    def __init__(self, uri, path):
        super().__init__(uri)
        self.path = path

    def get_location(self):
        lent = type("Location", (), {})()
        lent.get_path = lambda: self.path
        lent.has_uri_scheme = lambda scheme: self.uri.startswith(scheme + ":")
        return lent


try:
    extensions = os.path.join(work, "share", "nautilus-python", "extensions")
    os.makedirs(extensions)
    os.makedirs(os.path.join(work, "bin"))
    shutil.copy(sys.argv[1], os.path.join(extensions, "kestrova_nautilus.py"))
    record = os.path.join(work, "arguments")
    program = os.path.join(work, "bin", "kestrova")
    with open(program, "w") as script:
        script.write(f"#!/bin/sh\nprintf '%s\\0' \"$@\" >'{record}.new' && mv '{record}.new' '{record}'\n")
    os.chmod(program, 0o755)
    sys.path.insert(0, extensions)
    import kestrova_nautilus

    def started_with(item):
        """The arguments the entry's one start got."""
        if os.path.exists(record):
            os.remove(record)
        item.activate()
        for _ in range(100):
            if os.path.exists(record):
                with open(record, "rb") as got:
                    return got.read().decode().split("\0")[:-1]
            time.sleep(0.05)
        return None

    menu = kestrova_nautilus.KestrovaMenu()
    odd = ["/tmp/a b/$HOME `x` 'q'.txt", "/tmp/-n;*", "/tmp/報告.final.txt"]
    items = menu.get_file_items([Item(Gio.File.new_for_path(path).get_uri()) for path in odd])
    check("two entries for local files", [item.props.label for item in items] == ["Copy path", "Copy file name"])
    if len(items) == 2:
        check("Copy path: one start, every path as it is, in order", started_with(items[0]) == odd)
        check("Copy file name: the marker first", started_with(items[1]) == ["$FILENAME$"] + odd)

    for uri in ("trash:///a.txt", "sftp://host/a.txt", "smb://host/share/a.txt"):
        check(f"no entries with {uri} in the selection",
              menu.get_file_items([Item("file:///tmp/a.txt"), Item(uri)]) == [])
    fuse = "/run/user/1000/gvfs"
    check("no entries for the trash, even with a path lent",
          menu.get_file_items([Lent("trash:///a.txt", f"{fuse}/trash:/a.txt")]) == [])
    check("entries for an sftp:// item with a path lent",
          len(menu.get_file_items([Lent("sftp://host/a.txt", f"{fuse}/sftp:host=host/a.txt")])) == 2)
    background = menu.get_background_items(Item(Gio.File.new_for_path(odd[0]).get_uri()))
    # Named apart from the selection's entries: GNOME Files keys the actions by name.
    check("background: Copy path starts with the folder, named apart",
          len(background) == 2 and started_with(background[0]) == odd[:1]
          and background[0].props.name != items[0].props.name)
    for uri in ("trash:///", "network:///", "smb://host/share/"):
        check(f"no background entries in {uri}", menu.get_background_items(Item(uri)) == [])

    for languages, label in (("ja_JP.UTF-8", "パスをコピー"), ("de:ja", "パスをコピー"), ("de", "Copy path")):
        found = subprocess.run(
            [sys.executable, "-c", "import sys, kestrova_nautilus as k; "
             "print(k.KestrovaMenu().get_file_items([type('I', (), {'get_location': lambda s: "
             "k.Gio.File.new_for_path('/tmp')})()])[0].props.label)"],
            env={**os.environ, "PYTHONPATH": extensions, "LANGUAGE": languages, "LC_ALL": "C.UTF-8"},
            capture_output=True, text=True).stdout.strip()
        check(f"label for LANGUAGE={languages}", found == label)
finally:
    shutil.rmtree(work)

print(f"nautilus_extension: {len(failures)} failed")
sys.exit(1 if failures else 0)
