// What the Windows program learns about itself at start: its command line,
// its folder and name, and where its settings live.
#pragma once

#include "text/text.h"

namespace kestrova::win32 {

// The raw text after the program's name in a command line as
// GetCommandLineW() gives it: the name ends at its closing quote when it
// starts with one, else at the first space or tab; the blanks after it go.
// Nothing else is touched, so a quoted path keeps its quotes for the edit.
Text command_line_tail(const Text& command_line);

// The running executable's full path (GetModuleFileNameW).
Text module_path();

// The folder of a full path, without the final backslash.
Text folder_of(const Text& path);

// The file name of a path without its ".exe" (any case).
Text executable_name(const Text& path);

// The folder for "ini.ini", "kestrova.ini" and "kestrova.BAK": the program's
// folder when a file can be created there (a portable copy), else
// %APPDATA%\kestrova, created when missing. Throws FileError when that
// cannot be had.
Text settings_folder(const Text& program_folder);

}  // namespace kestrova::win32
