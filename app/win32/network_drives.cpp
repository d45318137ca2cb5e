#include "app/win32/network_drives.h"

#include <winnetwk.h>

#include <string>
#include <utility>

#include "app/win32/text.h"

namespace kestrova::win32 {

std::vector<NetworkMount> network_drives(DWORD drives,
                                         const std::function<std::optional<Text>(const Text&)>& connection_of) {
  std::vector<NetworkMount> mounts;
  for (int bit = 0; bit < 26; ++bit) {
    if ((drives & (DWORD{1} << bit)) == 0) {
      continue;
    }
    Text drive{static_cast<char16_t>(u'A' + bit), u':'};
    if (std::optional<Text> remote = connection_of(drive); remote && !remote->empty()) {
      mounts.push_back({std::move(drive), std::move(*remote), MountKind::kShare});
    }
  }
  return mounts;
}

std::optional<Text> connection_path(bool present, DWORD result, const Text& remote,
                                    const std::optional<Text>& remembered) {
  if ((result == NO_ERROR || result == ERROR_CONNECTION_UNAVAIL) && !remote.empty()) {
    return remote;
  }
  if ((result == ERROR_CONNECTION_UNAVAIL || !present) && remembered && !remembered->empty()) {
    return remembered;
  }
  return std::nullopt;
}

namespace {

constexpr wchar_t kRemembered[] = L"Network";

// The letters of the user's persistent connections, as GetLogicalDrives'
// mask: a mapped drive that is not connected may have no device at all.
DWORD remembered_drives() {
  HKEY network = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRemembered, 0, KEY_READ, &network) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD drives = 0;
  wchar_t name[8];
  for (DWORD index = 0;; ++index) {
    DWORD length = std::size(name);
    const LONG got = RegEnumKeyExW(network, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (got != ERROR_SUCCESS && got != ERROR_MORE_DATA) {
      break;  // the end, or a key that cannot be read on
    }
    const auto letter = static_cast<wchar_t>(name[0] & ~0x20);  // upper case
    if (got == ERROR_SUCCESS && length == 1 && letter >= L'A' && letter <= L'Z') {
      drives |= DWORD{1} << (letter - L'A');
    }
  }
  RegCloseKey(network);
  return drives;
}

// The network path Windows remembers for the drive's letter.
std::optional<Text> remembered_path(const Text& drive) {
  const std::wstring key = std::wstring(kRemembered) + L'\\' + static_cast<wchar_t>(drive[0]);
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"RemotePath", RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size < sizeof(wchar_t)) {
    return std::nullopt;
  }
  std::wstring path(size / sizeof(wchar_t), L'\0');
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"RemotePath", RRF_RT_REG_SZ, nullptr, path.data(),
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return text_of(path.c_str());
}

}  // namespace

std::vector<NetworkMount> NetworkDrives::network_mounts() const {
  const DWORD present = GetLogicalDrives();
  return network_drives(present | remembered_drives(), [present](const Text& drive) -> std::optional<Text> {
    std::wstring remote(MAX_PATH, L'\0');
    DWORD result = ERROR_MORE_DATA;
    for (;;) {
      DWORD length = static_cast<DWORD>(remote.size());
      result = WNetGetConnectionW(wide(drive), remote.data(), &length);
      if (result != ERROR_MORE_DATA || length <= remote.size()) {
        break;
      }
      remote.assign(length, L'\0');
    }
    // ERROR_CONNECTION_UNAVAIL: a persistent connection, not connected now;
    // the buffer may hold the path it had.
    const bool wrote = result == NO_ERROR || result == ERROR_CONNECTION_UNAVAIL;
    return connection_path((present & (DWORD{1} << (drive[0] - u'A'))) != 0, result,
                           wrote ? text_of(remote.c_str()) : Text(), remembered_path(drive));
  });
}

}  // namespace kestrova::win32
