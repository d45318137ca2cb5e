#include "app/win32/text.h"

namespace kestrova::win32 {

std::string windows_reason(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  Text reason;
  if (length != 0 && buffer != nullptr) {
    reason = text_of(buffer, length);
  }
  LocalFree(buffer);
  while (!reason.empty() && (reason.back() == u'\r' || reason.back() == u'\n' || reason.back() == u' ')) {
    reason.pop_back();
  }
  if (reason.empty()) {
    return "error " + std::to_string(code);
  }
  return to_utf8(reason);
}

std::string failure(const char* verb, const Text& name, DWORD code) {
  return std::string("cannot ") + verb + " " + to_utf8(name) + ": " + windows_reason(code);
}

}  // namespace kestrova::win32
