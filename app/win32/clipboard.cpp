#include "app/win32/clipboard.h"

#include <cstring>

#include "app/form.h"
#include "app/win32/text.h"

namespace kestrova::win32 {

namespace {

[[noreturn]] void fail(const char* what, DWORD code = GetLastError()) {
  throw PlatformError(std::string("cannot ") + what + ": " + windows_reason(code));
}

// The clipboard is one lock for the whole desktop; clipboard managers and
// remote-desktop clients hold it for moments, so an open is retried briefly.
class OpenClipboardLock {
 public:
  explicit OpenClipboardLock(HWND owner) {
    for (int attempt = 0; attempt < 50; ++attempt) {
      if (OpenClipboard(owner)) {
        return;
      }
      Sleep(20);
    }
    fail("open the clipboard");
  }
  OpenClipboardLock(const OpenClipboardLock&) = delete;
  OpenClipboardLock& operator=(const OpenClipboardLock&) = delete;
  ~OpenClipboardLock() { CloseClipboard(); }
};

// Memory for the clipboard: freed here unless the clipboard took it over.
class GlobalText {
 public:
  explicit GlobalText(const Text& text)
      : memory_(GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(char16_t))) {
    if (memory_ == nullptr) {
      fail("set the clipboard");
    }
    void* target = GlobalLock(memory_);
    std::memcpy(target, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    GlobalUnlock(memory_);
  }
  GlobalText(const GlobalText&) = delete;
  GlobalText& operator=(const GlobalText&) = delete;
  ~GlobalText() {
    if (memory_ != nullptr) {
      GlobalFree(memory_);
    }
  }
  HGLOBAL get() const { return memory_; }
  void handed_over() { memory_ = nullptr; }

 private:
  HGLOBAL memory_;
};

}  // namespace

void clear_clipboard(HWND owner) {
  const OpenClipboardLock lock(owner);
  if (!EmptyClipboard()) {
    fail("clear the clipboard");
  }
}

void set_clipboard_text(HWND owner, const Text& text) {
  GlobalText memory(text);
  const OpenClipboardLock lock(owner);
  if (!EmptyClipboard()) {
    fail("set the clipboard");
  }
  if (SetClipboardData(CF_UNICODETEXT, memory.get()) == nullptr) {
    fail("set the clipboard");
  }
  memory.handed_over();
}

}  // namespace kestrova::win32
