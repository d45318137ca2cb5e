// The Windows side of the end-to-end test and the benchmark, run inside
// Wine: Wine hands CR LF to X11 programs as LF, so the exact clipboard text
// is read here, and so is a message box's text, which X11 cannot see.
//   win_peer get            the CF_UNICODETEXT text as UTF-8, byte for byte
//   win_peer set TEXT       the least a program does to copy TEXT
//   win_peer message TITLE  the text of the message box titled TITLE
//   win_peer list-name TITLE  the name a screen reader gives the list box in
//                           the window titled TITLE
//   win_peer end-session TITLE  ends the session for that window as Windows
//                           does: WM_QUERYENDSESSION, then WM_ENDSESSION
//   win_peer hold           waits forever: Wine keeps clipboard data only
//                           while some Wine process runs
#include <windows.h>

#include <string>
#include <utility>

namespace {

int write_utf8(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), length, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size() - 1), &written,
            nullptr);
  return 0;
}

std::wstring text_of(HWND control) {
  std::wstring buffer(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  buffer.resize(
      static_cast<std::size_t>(GetWindowTextW(control, buffer.data(), static_cast<int>(buffer.size()))));
  return buffer;
}

// A message box is a dialog whose text is the static control with id 0xFFFF.
int message_text(const wchar_t* title) {
  HWND box = FindWindowW(L"#32770", title);
  HWND text = box != nullptr ? GetDlgItem(box, 0xFFFF) : nullptr;
  return text != nullptr ? write_utf8(text_of(text).c_str()) : 3;
}

// What a screen reader names the list by: its own text (Wine's oleacc reads
// that) and the static label just before it (Windows' reads that).
int list_name(const wchar_t* title) {
  HWND window = FindWindowW(nullptr, title);
  HWND list = window != nullptr ? FindWindowExW(window, nullptr, L"LISTBOX", nullptr) : nullptr;
  if (list == nullptr) {
    return 3;
  }
  const std::wstring name = text_of(list);
  HWND label = GetWindow(list, GW_HWNDPREV);
  wchar_t kind[16] = {};
  const bool labelled = label != nullptr && GetClassNameW(label, kind, 16) != 0 &&
                        lstrcmpiW(kind, L"Static") == 0 && text_of(label) == name;
  return labelled ? write_utf8(name.c_str()) : 4;
}

int end_session(const wchar_t* title) {
  HWND window = FindWindowW(nullptr, title);
  if (window == nullptr || SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) == FALSE) {
    return 3;
  }
  SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"hold") {
    Sleep(INFINITE);
  }
  const std::pair<const wchar_t*, int (*)(const wchar_t*)> on_window[] = {
      {L"message", message_text}, {L"list-name", list_name}, {L"end-session", end_session}};
  for (const auto& [name, run] : on_window) {
    if (command == name && argc == 3) {
      return run(argv[2]);
    }
  }
  for (int attempt = 0; !OpenClipboard(nullptr); ++attempt) {
    if (attempt == 100) {
      return 2;
    }
    Sleep(20);
  }
  int status = 0;
  if (command == L"get") {
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* text = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    status = text != nullptr ? write_utf8(text) : 3;
    GlobalUnlock(data);
  } else if (command == L"set" && argc == 3) {
    const std::size_t size = (wcslen(argv[2]) + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    memcpy(GlobalLock(memory), argv[2], size);
    GlobalUnlock(memory);
    EmptyClipboard();
    status = SetClipboardData(CF_UNICODETEXT, memory) != nullptr ? 0 : 4;
  } else {
    status = 5;
  }
  CloseClipboard();
  return status;
}
