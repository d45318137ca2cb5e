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

// Asks Windows afresh at every call (GetLogicalDrives, WNetGetConnectionW),
// since drives are connected and disconnected while the window is open. A
// drive whose connection cannot be read counts as no network drive.
class NetworkDrives final : public NetworkMounts {
 public:
  std::vector<NetworkMount> network_mounts() const override;
};

}  // namespace kestrova::win32
