// The Windows clipboard. Windows keeps what is set there after the program
// ends, so nothing has to stay behind to serve it.
#pragma once

#include <windows.h>

#include "text/text.h"

namespace kestrova::win32 {

// Both throw PlatformError naming the reason when the clipboard cannot be
// had (another program keeps it open beyond a short wait) or refuses.
void clear_clipboard(HWND owner);
void set_clipboard_text(HWND owner, const Text& text);

}  // namespace kestrova::win32
