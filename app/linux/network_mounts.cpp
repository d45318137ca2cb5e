#include "app/linux/network_mounts.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace kestrova {

namespace {

Text runtime_folder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') {
    return from_utf8(runtime);
  }
  return from_utf8("/run/user/" + std::to_string(getuid()));
}

}  // namespace

ProcNetworkMounts::ProcNetworkMounts(std::string mountinfo_path)
    : mountinfo_path_(std::move(mountinfo_path)), runtime_dir_(runtime_folder()) {}

std::vector<NetworkMount> ProcNetworkMounts::network_mounts() const {
  std::ifstream file(mountinfo_path_, std::ios::binary);
  if (!file) {
    return {};
  }
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  return parse_mountinfo(text, runtime_dir_);
}

}  // namespace kestrova
