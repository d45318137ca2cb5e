#!/usr/bin/env bash
# The Windows packages under Wine (run under xvfb-run): the zip's files; the
# installer with /S, its files and both shortcuts; the installed program,
# whose folder its user cannot write, keeping its settings in
# %APPDATA%\kestrova; the folder background's two verbs started by the
# shell on a folder of a mapped drive; the silent uninstall removing what
# was installed and leaving the settings. Runs Wine as nobody: root may
# write anywhere, so only an ordinary user meets a Program Files folder it
# cannot write.
# Usage: installer_test.sh SETUP.EXE ZIP WIN_PEER.EXE
set -uo pipefail

setup=$1
zip=$2
work=$(mktemp -d)
source "$(dirname "$0")/../../../tests/lib.sh"
chmod 755 "$work"
cp "$setup" "$work/setup.exe"
cp "$3" "$work/win_peer.exe"
mkdir "$work/home"
chown nobody "$work/home"
cp "${XAUTHORITY:-/dev/null}" "$work/xauth" 2>/dev/null
chown nobody "$work/xauth" 2>/dev/null

prefix="$work/home/prefix"
wine_env "$prefix" winemenubuilder.exe=d
# Wine as nobody, whose home holds the prefix.
wine_user() { as_nobody env HOME="$work/home" XAUTHORITY="$work/xauth" "$@"; }
cleanup() {
  wine_user wineserver -k 2>/dev/null
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The zip: the program and its Windows document, in one folder.
check "zip: files" [ "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = \
  "kestrova-2.6.1/ kestrova-2.6.1/README-Windows.txt kestrova-2.6.1/kestrova.exe " ]
check "zip: Windows document" bash -c "unzip -p '$zip' kestrova-2.6.1/README-Windows.txt | head -n 1 | grep -q '^# Kestrova on Windows'"

wine_user wineboot -i >/dev/null 2>&1
wine_user wine "$work/win_peer.exe" hold &
c="$prefix/drive_c"
installed="$c/Program Files/Kestrova"
start_menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kestrova.lnk"
send_to="$c/users/nobody/AppData/Roaming/Microsoft/Windows/SendTo/Kestrova.lnk"
send_names="$c/users/nobody/AppData/Roaming/Microsoft/Windows/SendTo/Kestrova (file name).lnk"
settings="$c/users/nobody/AppData/Roaming/kestrova"

wine_user wine "$work/setup.exe" /S
check "installer: status 0" [ $? = 0 ]
check "installer: files" [ "$(ls "$installed" | tr '\n' ' ')" = "README-Windows.txt kestrova.exe uninstall.exe " ]
check "installer: program is the built one" cmp -s "$installed/kestrova.exe" <(unzip -p "$zip" kestrova-2.6.1/kestrova.exe)
for link in "$start_menu" "$send_to" "$send_names"; do
  check "installer: shortcut ${link##*/Windows/}" grep -aq 'Program Files\\Kestrova\\kestrova.exe' "$link"
done
check "installer: registered" wine_user wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrova' /v UninstallString

# What Send To does: the shortcut started with the file as its argument,
# after the shortcut's own "$FILENAME$".
# (Wine's "start /wait" does not wait for a shortcut's program.)
chmod 555 "$installed"
wine_user wine start "C:\\users\\nobody\\AppData\\Roaming\\Microsoft\\Windows\\SendTo\\Kestrova (file name).lnk" \
  'C:\my dir\report.final.txt'
copied() { [ "$(wine_user wine "$work/win_peer.exe" get)" = report.final ]; }
ended() { ! pgrep -f 'Kestrova.kestrova[.]exe' >/dev/null; }
check "installed: copied through Send To" wait_for copied
check "installed: ended" wait_for ended
check "installed: settings in %APPDATA%\\kestrova" test -f "$settings/kestrova.ini" -a -f "$settings/kestrova.BAK"

# The folder's background as Explorer starts a verb (Wine's shell leaves %V
# empty): the registered command with the folder for %V, handed to cmd in a
# variable so that it starts as it stands, neither quoted nor escaped by Wine.
# X: is the drive that the default settings map.
mkdir -p "$work/x/my dir"
ln -s "$work/x" "$prefix/dosdevices/x:"
clipboard_is() { [ "$(wine_user wine "$work/win_peer.exe" get)" = "$1" ]; }
while IFS='|' read -r verb want; do
  command=$(wine_user wine reg query "HKCR\\Directory\\Background\\shell\\Kestrova.$verb\\command" /ve |
    tr -d '\r' | sed -n 's/^ *([^)]*) *REG_SZ    //p')
  check "background $verb: registered" [ -n "$command" ]
  wine_user env KESTROVA_VERB_LINE="${command//%V/'X:\my dir'}" wine cmd /c %KESTROVA_VERB_LINE% &
  check "background $verb: copied" wait_for clipboard_is "$(printf "$want")"
  # Copy path's message box waits for its OK (no window manager here to activate it).
  [ "$verb" = CopyPath ] && box=$(wait_window kestrova) && xdotool windowfocus --sync "$box" key Return 2>/dev/null
  check "background $verb: ended" wait_for ended
done <<'ROWS'
CopyFileName|my dir
CopyPath|<\\\\realpath\\my dir>\r\n
ROWS
check "installed: nothing written beside the program" \
  [ "$(ls "$installed" | tr '\n' ' ')" = "README-Windows.txt kestrova.exe uninstall.exe " ]
chmod 755 "$installed"
cp "$settings/kestrova.ini" "$work/settings.ini"

# The uninstaller copies itself away and returns at once; wait for it.
wine_user wine "C:\\Program Files\\Kestrova\\uninstall.exe" /S
gone() { [ ! -e "$installed" ] && [ ! -e "$start_menu" ] && [ ! -e "$send_to" ] && [ ! -e "$send_names" ]; }
wait_for gone
check "uninstall: program and shortcuts removed" gone
wine_user wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrova' >/dev/null 2>&1
check "uninstall: registration removed" [ $? != 0 ]
check "uninstall: background verbs removed" [ -z "$(wine_user wine reg query \
  'HKLM\Software\Classes\Directory\Background\shell' /s 2>/dev/null | grep -i kestrova)" ]
check "uninstall: settings kept" cmp -s "$settings/kestrova.ini" "$work/settings.ini"

finish_checks win32_installer_test
