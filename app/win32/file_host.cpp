#include "app/win32/file_host.h"

#include <algorithm>
#include <climits>
#include <string>
#include <utility>

#include "app/win32/handle.h"
#include "app/win32/text.h"

namespace kestrova {

using win32::failure;
using win32::text_of;
using win32::wide;

namespace {

bool is_absolute(const Text& path) {
  // "C:..." names a drive, "\..." the root of the current one, "\\..." a share.
  return (path.size() >= 2 && path[1] == u':') || (!path.empty() && path[0] == u'\\');
}

}  // namespace

Win32FileHost::Win32FileHost(Text settings_folder) : folder_(std::move(settings_folder)) {}

Text Win32FileHost::resolve(const Text& path) const {
  Text joined = path;
  if (!is_absolute(path)) {
    joined = folder_;
    if (!joined.empty() && joined.back() != u'\\') {
      joined += u'\\';
    }
    joined += path;
  }
  // Left as it is when the system cannot make it full: the open that follows
  // then reports why.
  const DWORD size = GetFullPathNameW(wide(joined), 0, nullptr, nullptr);
  if (size == 0) {
    return joined;
  }
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(wide(joined), size, full.data(), nullptr);
  if (length == 0 || length >= size) {
    return joined;
  }
  return text_of(full.data(), length);
}

namespace {

[[noreturn]] void refuse(const char* verb, const Text& name, const char* kind) {
  throw NotAFileError(std::string("cannot ") + verb + " " + to_utf8(name) + ": it is " + kind +
                      ", not a settings file");
}

// Throws NotAFileError when `name` is a folder.
void refuse_folder(const char* verb, const Text& name) {
  const DWORD attributes = GetFileAttributesW(wide(name));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    refuse(verb, name, "a folder");
  }
}

// Throws NotAFileError when the open `file` is no file on a disk (a pipe, a
// console, a device named as \\.\NAME).
void refuse_device(const char* verb, const Text& name, HANDLE file) {
  if (GetFileType(file) != FILE_TYPE_DISK) {
    refuse(verb, name, "a device");
  }
}

}  // namespace

bool Win32FileHost::file_exists(const Text& path) const {
  const Text name = resolve(path);
  refuse_folder("read", name);
  return GetFileAttributesW(wide(name)) != INVALID_FILE_ATTRIBUTES;
}

bool Win32FileHost::path_exists(const Text& path) const {
  // Full paths only: a drive's (C:\...) or a share's (\\server\...).
  // One leading backslash would mean the current drive, the program's.
  const bool full = (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') || path.starts_with(u"\\\\");
  return full && GetFileAttributesW(wide(path)) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> Win32FileHost::read_lines(const Text& path) {
  const Text name = resolve(path);
  const win32::Handle file(CreateFileW(wide(name), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    refuse_folder("read", name);
    throw FileError(failure("read", name));
  }
  refuse_device("read", name, file.get());
  std::string content;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
      throw FileError(failure("read", name));
    }
    if (got == 0) {
      break;
    }
    content.append(buffer, got);
  }
  return split_lines(content);
}

namespace {

// Whether the file `name` holds exactly `content`; false when it cannot be read.
bool holds(const Text& name, const std::string& content) {
  const win32::Handle file(CreateFileW(wide(name), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
      static_cast<unsigned long long>(size.QuadPart) != content.size()) {
    return false;
  }
  std::string read_back(content.size(), '\0');
  std::size_t done = 0;
  while (done < read_back.size()) {
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(read_back.size() - done, 1u << 20));
    if (!ReadFile(file.get(), read_back.data() + done, chunk, &got, nullptr) || got == 0) {
      return false;
    }
    done += got;
  }
  return read_back == content;
}

}  // namespace

void Win32FileHost::write_lines(const Text& path, const std::vector<std::string>& lines) {
  const Text name = resolve(path);
  refuse_folder("write", name);
  const std::string content = join_lines(lines);
  // Mostly the file already holds these very bytes (settings rarely
  // change): then there is nothing to replace, and no disk to wait for.
  if (holds(name, content)) {
    return;
  }
  // The new content goes to a temporary file in the same folder and replaces
  // the old file by one rename once it is complete and on disk, so a crash or
  // a full disk leaves the old file rather than a truncated one. Its name is
  // the file's with a marker of the program's own and six letters or digits,
  // which no file of the user's beside the settings plausibly has.
  win32::Handle file;
  Text temporary_name;
  for (unsigned attempt = 0; !file; ++attempt) {
    LARGE_INTEGER tick{};
    QueryPerformanceCounter(&tick);
    unsigned long long seed = static_cast<unsigned long long>(tick.QuadPart) * 0x9E3779B97F4A7C15ull ^
                              (static_cast<unsigned long long>(GetCurrentProcessId()) << 20) ^ attempt;
    temporary_name = name + u".kestrova-temp-";
    static constexpr char16_t kDigits[] = u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    for (int i = 0; i < 6; ++i) {
      temporary_name += kDigits[seed % 62];
      seed /= 62;
    }
    file = win32::Handle(CreateFileW(wide(temporary_name), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && (GetLastError() != ERROR_FILE_EXISTS || attempt >= 100)) {
      throw FileError(failure("write", name));
    }
  }
  const wchar_t* temporary = wide(temporary_name);
  bool replaced = false;
  struct Cleanup {
    win32::Handle& file;
    const wchar_t* path;
    const bool& keep;
    ~Cleanup() {
      file = win32::Handle();  // closed first: an open file cannot be deleted
      if (!keep) {
        DeleteFileW(path);
      }
    }
  } cleanup{file, temporary, replaced};
  std::size_t done = 0;
  while (done < content.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file.get(), content.data() + done, chunk, &written, nullptr) || written == 0) {
      throw FileError(failure("write", name));
    }
    done += written;
  }
  if (!FlushFileBuffers(file.get()) || !CloseHandle(file.release())) {
    throw FileError(failure("write", name));
  }
  if (!MoveFileExW(temporary, wide(name), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw FileError(failure("write", name));
  }
  replaced = true;
}

Text Win32FileHost::decode(std::string_view bytes) const {
  if (bytes.empty()) {
    return {};
  }
  if (bytes.size() > INT_MAX) {
    throw FileError("cannot decode a line of " + std::to_string(bytes.size()) + " bytes");
  }
  const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), result.data(), length);
  return text_of(result.data(), result.size());
}

std::string Win32FileHost::encode(TextView text) const {
  if (text.empty()) {
    return {};
  }
  const auto* units = reinterpret_cast<const wchar_t*>(text.data());
  const int size = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(CP_ACP, 0, units, size, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, units, size, result.data(), length, nullptr, nullptr);
  return result;
}

}  // namespace kestrova
