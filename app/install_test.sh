#!/usr/bin/env bash
# The installed program on a desktop (run under xvfb-run): `cmake --install`
# into a scratch prefix, the desktop entry and metainfo as the validators
# see them, settings in the per-user folder for a user who cannot write the
# program's folder, and the entry started by GLib's launcher (`gio launch`)
# with files, reading the clipboard from another process.
# Usage: install_test.sh BUILD_FOLDER
set -uo pipefail

build=$1
app_id=org.kestrova.Kestrova
work=$(mktemp -d)
prefix="$work/root/usr"
trap 'pkill -f "$work/" 2>/dev/null; rm -rf "$work"' EXIT
source "$(dirname "$0")/../tests/lib.sh"



running() { pgrep -f "kestrova.*$work/files" >/dev/null; }
not_running() { ! running; }
clipboard_is() { test "$(clipboard)" = "$1"; }

# Exactly the wanted files: no leftovers of the build, nothing missing.
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  echo "install: 0 passed, 1 failed"
  exit 1
fi
want="bin/kestrova
$(cd "$prefix" && find lib -name kestrova-qt.so)
share/applications/$app_id.desktop
share/doc/kestrova/changelog.gz
share/doc/kestrova/copyright
share/icons/hicolor/16x16/apps/$app_id.png
share/icons/hicolor/32x32/apps/$app_id.png
share/icons/hicolor/48x48/apps/$app_id.png
share/icons/hicolor/scalable/apps/$app_id.svg
share/man/man1/kestrova.1.gz
share/metainfo/$app_id.metainfo.xml
share/kio/servicemenus/$app_id.desktop
share/nemo/actions/$app_id.copy-path.nemo_action
share/nemo/actions/$app_id.copy-file-name.nemo_action
share/nemo/actions/$app_id.copy-path.background.nemo_action
share/nemo/actions/$app_id.copy-file-name.background.nemo_action
share/file-manager/actions/$app_id.copy-path.desktop
share/file-manager/actions/$app_id.copy-file-name.desktop
share/Thunar/sendto/$app_id.copy-path.desktop
share/Thunar/sendto/$app_id.copy-file-name.desktop
share/nautilus-python/extensions/kestrova_nautilus.py"
# lintian's override of AppStream 1.0's missing-homepage warning, only where
# that AppStream runs.
if [[ "$(appstreamcli --version)" =~ version:\ ([0-9]+)\. ]] && [ "${BASH_REMATCH[1]}" -ge 1 ]; then
  want+=$'\nshare/lintian/overrides/kestrova'
fi
check "installed files" test "$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)" = "$(sort <<<"$want")"
for size in 16 32 48; do
  check "${size}px icon is ${size}x${size}" \
    grep -q "PNG image data, $size x $size" <(file "$prefix/share/icons/hicolor/${size}x$size/apps/$app_id.png")
done

# Warnings count as failures: desktop-file-validate prints nothing when clean.
entry="$prefix/share/applications/$app_id.desktop"
check "desktop-file-validate" test -z "$(desktop-file-validate "$entry" 2>&1)"
for sendto in "$prefix"/share/Thunar/sendto/*.desktop; do
  check "desktop-file-validate ${sendto##*/}" test -z "$(desktop-file-validate "$sendto" 2>&1)"
done
# The other right-click entries are no desktop entries to the validator:
# their keys as GLib's key-file parser reads them, which is how Nemo and
# libfm read them, and each Exec split as they split it. Every entry hands
# over the whole selection (%F) in one start.
entries_out=$(/usr/bin/python3 - "$prefix/share" "$app_id" 2>&1 <<'EOF'
import sys
import gi
gi.require_version("GLib", "2.0")
from gi.repository import GLib

share, app = sys.argv[1], sys.argv[2]
names = {"copy-path": ("Copy path", "パスをコピー"), "copy-file-name": ("Copy file name", "ファイル名をコピー")}
failed = 0
for action, (english, japanese) in names.items():
    argv = ["kestrova"] + (["$FILENAME$"] if action == "copy-file-name" else []) + ["%F"]
    group = f"Desktop Action {action}"
    # file, the group of its Exec, the group of its names, and the keys its
    # file manager needs
    entries = [
        (f"kio/servicemenus/{app}.desktop", group, group,
         {("Desktop Entry", "Type"): "Service", ("Desktop Entry", "MimeType"): "all/all;",
          ("Desktop Entry", "Actions"): "copy-path;copy-file-name;"}),
        (f"nemo/actions/{app}.{action}.nemo_action", "Nemo Action", "Nemo Action",
         {("Nemo Action", "Quote"): "double", ("Nemo Action", "Selection"): "notnone",
          ("Nemo Action", "Extensions"): "any;"}),
        (f"nemo/actions/{app}.{action}.background.nemo_action", "Nemo Action", "Nemo Action",
         {("Nemo Action", "Quote"): "double", ("Nemo Action", "Selection"): "none",
          ("Nemo Action", "Extensions"): "any;", ("Nemo Action", "UriScheme"): "file"}),
        (f"file-manager/actions/{app}.{action}.desktop", "X-Action-Profile selection", "Desktop Entry",
         {("Desktop Entry", "Type"): "Action", ("Desktop Entry", "Profiles"): "selection;",
          ("Desktop Entry", "TargetLocation"): "true", ("X-Action-Profile selection", "MimeTypes"): "all/all;",
          ("X-Action-Profile selection", "Capabilities"): "Local;"}),
        (f"Thunar/sendto/{app}.{action}.desktop", "Desktop Entry", "Desktop Entry", {}),
    ]
    if action == "copy-file-name":
        entries.append((f"applications/{app}.desktop", group, None, {}))
    for path, exec_group, name_group, keys in entries:
        problems = []
        try:
            keyfile = GLib.KeyFile()
            keyfile.load_from_file(f"{share}/{path}", GLib.KeyFileFlags.KEEP_TRANSLATIONS)
            got = GLib.shell_parse_argv(keyfile.get_string(exec_group, "Exec"))[1]
            # Nemo's background entries take the folder shown (%P).
            if got != (argv[:-1] + ["%P"] if ".background." in path else argv):
                problems.append(f"Exec splits into {got}")
            if name_group:
                keys[(name_group, "Name")] = english
                if keyfile.get_locale_string(name_group, "Name", "ja") != japanese:
                    problems.append("no Japanese name")
            problems += [f"{key} is not {want}" for key, want in keys.items() if keyfile.get_string(*key) != want]
        except GLib.Error as error:
            problems.append(error.message)
        for problem in problems:
            print(f"{path}: {problem}")
            failed += 1
sys.exit(1 if failed else 0)
EOF
)
check "right-click entries' keys and commands" test $? -eq 0 || echo "$entries_out" >&2
# As the package's trigger does: index the entry's file types, then ask GLib.
update-desktop-database "$prefix/share/applications"
check "offered for application/octet-stream" grep -q "$app_id.desktop" \
  <(PATH="$prefix/bin:$PATH" XDG_DATA_DIRS="$prefix/share" XDG_DATA_HOME="$work/none" gio mime application/octet-stream)
check "the entry's icon is the one installed" grep -qx "Icon=$app_id" "$entry"
# validate-tree also ties the metainfo to its desktop entry; it fails on
# warnings too. AppStream 1.0 warns when no homepage is named; Kestrova has
# no web page of its own and none is made up, so that one warning is read as
# a note (AppStream 0.16 knows no such warning and refuses to override it).
appstream=$(appstreamcli validate-tree --no-net --override=url-homepage-missing=info "$work/root" 2>&1)
appstream_status=$?
if grep -q "'url-homepage-missing' is not recognized" <<<"$appstream"; then
  appstream=$(appstreamcli validate-tree --no-net "$work/root" 2>&1)
  appstream_status=$?
fi
check "appstreamcli validate-tree" test "$appstream_status" -eq 0 || echo "$appstream" >&2
check "the metainfo names its developer" \
  grep -q '<developer id="org.kestrova">' "$prefix/share/metainfo/$app_id.metainfo.xml"

# An installed program's folder is root's: settings go to the per-user folder.
# Run as nobody, since root is never refused.
if can_run_as_nobody; then
  home="$work/home"
  mkdir -p "$home"
  chown nobody "$home"
  chmod 755 "$work"
  as_nobody \
    env -i HOME="$home" PATH="$prefix/bin:/usr/bin:/bin" QT_QPA_PLATFORM=offscreen \
    kestrova '$FILENAME$' "$work/files/x.txt"
  check "installed program run by nobody exits 0" test $? -eq 0
  check "settings in ~/.config/kestrova" test -f "$home/.config/kestrova/kestrova.ini"
  check "nothing written beside the program" test "$(ls "$prefix/bin")" = kestrova
else
  echo "skipped the unprivileged run: setpriv or the user nobody is missing" >&2
fi

# The launcher. As root the program's folder is writable, so its settings
# lie there: plain paths, no tags, no final line break.
printf 'TAG-SET=NO\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n' >"$prefix/bin/kestrova.ini"
export PATH="$prefix/bin:$PATH"
mkdir -p "$work/files"
one="$work/files/報告 書.final.txt"
two="$work/files/b.txt"
touch "$one" "$two"

# Several files through %F: one command line, a message box, the copy kept
# after the box is dismissed and the program has returned.
gio launch "$entry" "$one" "$two"
check "gio launch of the entry" test $? -eq 0
box=$(wait_for xdotool search --onlyvisible --name '^kestrova$' 2>/dev/null | head -n 1)
check "message box comes up" test -n "$box"
both=$(printf '%s\r\n%s' "$one" "$two")
check "both paths copied, one a line" wait_for clipboard_is "$both"
xdotool windowfocus --sync "$box" key Return 2>/dev/null
no_box() { test -z "$(xdotool search --onlyvisible --name '^kestrova$' 2>/dev/null)"; }
check "box gone after Return" wait_for no_box
check "copy kept after the box" clipboard_is "$both"
echo other | xclip -selection clipboard
check "worker ends when the clipboard is taken" wait_for not_running

# No launcher hands files to a desktop action (GLib's launch_action passes
# none), so the action's Exec line is lifted verbatim into an entry of its
# own and launched with two files: GLib unquotes it exactly as it would there.
action=$(sed -n '/^\[Desktop Action copy-file-name\]/,/^\[/{/^Exec=/p}' "$entry")
check "copy-file-name action has an Exec line" test -n "$action"
printf '[Desktop Entry]\nType=Application\nName=action\n%s\n' "$action" >"$work/action.desktop"
gio launch "$work/action.desktop" "$one" "$two"
check "gio launch of the action" test $? -eq 0
check "action copies the bare file names" wait_for clipboard_is "$(printf '報告 書.final\r\nb')"
check "no message box for the action" no_box
echo other | xclip -selection clipboard
check "action's worker ends when the clipboard is taken" wait_for not_running

finish_checks install
