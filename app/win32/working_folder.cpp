#include "app/form.h"
#include "app/win32/text.h"

namespace kestrova {

void change_to_program_folder(const Text& folder) {
  // The current drive goes with the folder: a drive-relative name such as
  // "\kestrova.ini" then refers to the program's drive.
  if (!SetCurrentDirectoryW(win32::wide(folder))) {
    throw PlatformError("cannot change to the program's folder " + to_utf8(folder) + ": " +
                        win32::windows_reason(GetLastError()));
  }
}

}  // namespace kestrova
