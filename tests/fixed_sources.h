// Option states and network mounts fixed by a test, a fuzzer or a benchmark;
// FixedNetworkMounts also counts how often the system is asked.
#pragma once

#include <utility>
#include <vector>

#include "clip/clip.h"

namespace kestrova::testing {

struct OptionStates final : OptionSource {
  int drive = 0, tag = 0, crlf = 0;

  OptionStates() = default;
  OptionStates(int drive_state, int tag_state, int crlf_state)
      : drive(drive_state), tag(tag_state), crlf(crlf_state) {}
  int Check_drive() const override { return drive; }
  int Check_TAG() const override { return tag; }
  int Check_CRLF() const override { return crlf; }
};

struct FixedNetworkMounts : NetworkMounts {
  std::vector<NetworkMount> mounts;
  mutable int asked = 0;

  explicit FixedNetworkMounts(std::vector<NetworkMount> list = {}) : mounts(std::move(list)) {}
  std::vector<NetworkMount> network_mounts() const override {
    ++asked;
    return mounts;
  }
};

// A drive table of the given rows, in order.
inline DriveTable table_of(std::initializer_list<std::pair<Text, Text>> rows) {
  DriveTable table;
  for (const auto& [letter, path] : rows) { table.add_row(letter, path); }
  return table;
}

}  // namespace kestrova::testing
