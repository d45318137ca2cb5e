// The network drives Windows knows at this moment.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>

#include "clip/network.h"

namespace kestrova::win32 {

// The drives of `drives` (GetLogicalDrives' mask: bit 0 is A:) for which
// `connection_of` names a network connection, as {"X:", its UNC path}, in
// drive order. `connection_of` gets the drive ("X:") and answers nothing for
// a drive that is no network connection.
std::vector<NetworkMount> network_drives(DWORD drives,
                                         const std::function<std::optional<Text>(const Text&)>& connection_of);

// The network path behind one drive from what Windows says of it: `result`
// and `remote`, WNetGetConnectionW's answer and the name it wrote;
// `remembered`, the user's persistent connection of that letter
// (HKCU\Network\<letter>\RemotePath); `present`, whether GetLogicalDrives
// lists the drive. A connected drive gives its path. A mapped drive that is
// disconnected at the moment (before the VPN is up) still gives its path,
// which colleagues can open: the one Windows reports with
// ERROR_CONNECTION_UNAVAIL, else the remembered one; so does a remembered
// letter that has no device at all now. Any other drive gives nothing.
std::optional<Text> connection_path(bool present, DWORD result, const Text& remote,
                                    const std::optional<Text>& remembered);

// Asks Windows afresh at every call (GetLogicalDrives, WNetGetConnectionW,
// the remembered connections), since drives are connected and disconnected
// while the window is open. A drive whose connection cannot be read counts
// as no network drive.
class NetworkDrives final : public NetworkMounts {
 public:
  std::vector<NetworkMount> network_mounts() const override;
};

}  // namespace kestrova::win32
