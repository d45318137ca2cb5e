#include "app/win32/start.h"

#include <shlobj.h>
#include <windows.h>

#include "app/win32/text.h"
#include "settings/host.h"

namespace kestrova::win32 {

Text command_line_tail(const Text& command_line) {
  std::size_t at = 0;
  if (!command_line.empty() && command_line[0] == u'"') {
    const std::size_t closing = command_line.find(u'"', 1);
    at = closing == Text::npos ? command_line.size() : closing + 1;
  } else {
    at = command_line.find_first_of(u" \t");
    if (at == Text::npos) {
      at = command_line.size();
    }
  }
  while (at < command_line.size() && (command_line[at] == u' ' || command_line[at] == u'\t')) {
    ++at;
  }
  return command_line.substr(at);
}

Text module_path() {
  // Long paths (\\?\...) can exceed MAX_PATH; grow until the name fits.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      throw FileError("cannot find the program's own path: " + windows_reason(GetLastError()));
    }
    if (length < buffer.size()) {
      return text_of(buffer.data(), length);
    }
    buffer.resize(buffer.size() * 2);
  }
}

Text folder_of(const Text& path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return slash == Text::npos ? Text(u".") : path.substr(0, slash);
}

Text executable_name(const Text& path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  Text name = slash == Text::npos ? path : path.substr(slash + 1);
  if (name.size() > 4 &&
      CompareStringOrdinal(wide(name) + name.size() - 4, 4, L".exe", 4, TRUE) == CSTR_EQUAL) {
    name.resize(name.size() - 4);
  }
  return name;
}

namespace {

// Whether a file can be created in `folder`: the one honest test, since
// access rights, a read-only medium and UAC all come into it.
// (GetTempFileNameW is no such test: Wine's reports a name even where it
// could not create the file.)
bool can_create_files_in(const Text& folder) {
  const std::string pid = std::to_string(GetCurrentProcessId());
  const Text probe = folder + u"\\kestrova-" + Text(pid.begin(), pid.end()) + u".probe";
  HANDLE file = CreateFileW(wide(probe), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_FILE_EXISTS;
  }
  CloseHandle(file);
  return true;
}

}  // namespace

Text settings_folder(const Text& program_folder) {
  if (can_create_files_in(program_folder)) {
    return program_folder;
  }
  wchar_t* roaming = nullptr;
  const HRESULT found = SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &roaming);
  Text folder;
  if (SUCCEEDED(found)) {
    folder = text_of(roaming) + u"\\kestrova";
  }
  CoTaskMemFree(roaming);
  if (FAILED(found)) {
    throw FileError("cannot find the folder for settings: the program's folder " + to_utf8(program_folder) +
                    " is not writable and there is no application data folder: " +
                    windows_reason(static_cast<DWORD>(found)));
  }
  if (!CreateDirectoryW(wide(folder), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    const DWORD code = GetLastError();
    throw FileError(failure("create", folder, code) + " (the program's folder " + to_utf8(program_folder) +
                    " is not writable)");
  }
  return folder;
}

}  // namespace kestrova::win32
