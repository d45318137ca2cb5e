// The network mounts Linux knows at this moment.
#pragma once

#include <string>

#include "clip/network.h"

namespace kestrova {

// Reads `mountinfo_path` (normally /proc/self/mountinfo) afresh at every
// call, since shares are mounted and unmounted while the window is open, and
// finds GVFS's shares below the desktop's runtime folder ($XDG_RUNTIME_DIR,
// else /run/user/UID). A file that cannot be read gives an empty list.
class ProcNetworkMounts final : public NetworkMounts {
 public:
  explicit ProcNetworkMounts(std::string mountinfo_path = "/proc/self/mountinfo");
  std::vector<NetworkMount> network_mounts() const override;

 private:
  std::string mountinfo_path_;
  Text runtime_dir_;
};

}  // namespace kestrova
