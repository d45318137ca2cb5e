// Texts across the Win32 boundary. wchar_t is 16 bits on Windows, so a Text
// and a wide string hold the same code units.
#pragma once

#include <windows.h>

#include <string>

#include "text/text.h"

namespace kestrova::win32 {

inline const wchar_t* wide(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

inline Text text_of(const wchar_t* text, std::size_t length) {
  return {reinterpret_cast<const char16_t*>(text), length};
}

inline Text text_of(const wchar_t* text) { return text_of(text, std::char_traits<wchar_t>::length(text)); }

// The system's description of an error code (GetLastError()), as UTF-8,
// without its closing line break.
std::string windows_reason(DWORD code);

// "cannot VERB NAME: REASON" for the last error.
std::string failure(const char* verb, const Text& name, DWORD code = GetLastError());

}  // namespace kestrova::win32
