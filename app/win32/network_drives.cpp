#include "app/win32/network_drives.h"

#include <winnetwk.h>

#include <string>

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

std::vector<NetworkMount> NetworkDrives::network_mounts() const {
  return network_drives(GetLogicalDrives(), [](const Text& drive) -> std::optional<Text> {
    std::wstring remote(MAX_PATH, L'\0');
    for (;;) {
      DWORD length = static_cast<DWORD>(remote.size());
      const DWORD result = WNetGetConnectionW(wide(drive), remote.data(), &length);
      if (result == NO_ERROR) {
        return text_of(remote.c_str());
      }
      if (result != ERROR_MORE_DATA || length <= remote.size()) {
        return std::nullopt;  // a local drive, or one Windows cannot tell about
      }
      remote.assign(length, L'\0');
    }
  });
}

}  // namespace kestrova::win32
