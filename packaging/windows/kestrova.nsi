; The Windows installer: the program in Program Files, a Start-menu entry,
; two Send To entries (Explorer's way to hand files to a program: right-click,
; Send to, Kestrova), one for the paths of the selection and one for their
; bare names, the same two on the background of every folder (right-click
; the empty space of a folder's view: the folder itself), and an uninstaller
; that removes exactly these. The
; settings in %APPDATA%\kestrova are the user's and stay.
; makensis -DVERSION=... -DEXE=... -DREADME=... -DOUTFILE=... kestrova.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrova"
; Explorer reads a folder background's verbs here; %V is the folder shown.
!define BACKGROUND "Software\Classes\Directory\Background\shell"

Name "Kestrova ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Kestrova"
InstallDirRegKey HKLM "${KEY}" "InstallLocation"
Icon "${ICON}"
UninstallIcon "${ICON}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Kestrova"
VIAddVersionKey /LANG=1033 "FileDescription" "Kestrova setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Kestrova developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
  SetOutPath "$INSTDIR"
  File "/oname=kestrova.exe" "${EXE}"
  File "/oname=README-Windows.txt" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\Kestrova.lnk" "$INSTDIR\kestrova.exe"
  ; Send To belongs to each user; it goes to the user who installs.
  SetShellVarContext current
  CreateShortcut "$SENDTO\Kestrova.lnk" "$INSTDIR\kestrova.exe"
  ; Explorer puts the selected paths after the shortcut's own argument.
  CreateShortcut "$SENDTO\Kestrova (file name).lnk" "$INSTDIR\kestrova.exe" "$$FILENAME$$"

  ; For every user, as the program itself is. The folder is quoted, as Send
  ; To quotes a path with spaces: the program reads a single path from the
  ; whole text after the marker and drops exactly those quotes. The marker
  ; itself stays bare, as in the Send To shortcut: in quotes its closing
  ; quote would be read as part of the path.
  WriteRegStr HKLM "${BACKGROUND}\Kestrova.CopyPath" "MUIVerb" "Copy path"
  WriteRegStr HKLM "${BACKGROUND}\Kestrova.CopyPath" "Icon" "$INSTDIR\kestrova.exe"
  WriteRegStr HKLM "${BACKGROUND}\Kestrova.CopyPath\command" "" '"$INSTDIR\kestrova.exe" "%V"'
  WriteRegStr HKLM "${BACKGROUND}\Kestrova.CopyFileName" "MUIVerb" "Copy file name"
  WriteRegStr HKLM "${BACKGROUND}\Kestrova.CopyFileName" "Icon" "$INSTDIR\kestrova.exe"
  WriteRegStr HKLM "${BACKGROUND}\Kestrova.CopyFileName\command" "" '"$INSTDIR\kestrova.exe" $$FILENAME$$ "%V"'

  WriteRegStr HKLM "${KEY}" "DisplayName" "Kestrova"
  WriteRegStr HKLM "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${KEY}" "Publisher" "Kestrova developers"
  WriteRegStr HKLM "${KEY}" "DisplayIcon" "$INSTDIR\kestrova.exe"
  WriteRegStr HKLM "${KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\kestrova.exe"
  Delete "$INSTDIR\README-Windows.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Kestrova.lnk"
  SetShellVarContext current
  Delete "$SENDTO\Kestrova.lnk"
  Delete "$SENDTO\Kestrova (file name).lnk"
  DeleteRegKey HKLM "${BACKGROUND}\Kestrova.CopyPath"
  DeleteRegKey HKLM "${BACKGROUND}\Kestrova.CopyFileName"
  DeleteRegKey HKLM "${KEY}"
SectionEnd
