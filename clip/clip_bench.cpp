// What a click on the list costs: the edit of one path, and the clip text of
// selections up to a hundred thousand entries, which has to grow linearly;
// and the edit of one path that tries fifty rows and reaches "*,*", with the
// system's mount table read from a mountinfo of 10,000 lines at every edit,
// as the front end reads it.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "clip/clip.h"
#include "clip/network_test_samples.h"

namespace {

using kestrova::DriveTable;
using kestrova::OptionStates;
using kestrova::Text;

DriveTable default_table() {
  DriveTable table;
  table.add_row(u"X", u"\\\\realpath\\");
  return table;
}

// Every option on, so each step of the edit does its work.
const OptionStates kAllOn{1, 1, 1};

const Text kTypicalPath = u"\"X:\\Projects\\Kestrova\\docs\\2024 reports\\quarterly report.final.xlsx\"";

void BM_EditClip(benchmark::State& state) {
  const DriveTable table = default_table();
  for ([[maybe_unused]] auto _ : state) {
    Text text = kTypicalPath;
    benchmark::DoNotOptimize(kestrova::EDIT_CLIP(text, 0, 0, table, kAllOn));
  }
}
BENCHMARK(BM_EditClip);

std::vector<kestrova::SelectedEntry> selection_of(std::size_t n) {
  std::vector<kestrova::SelectedEntry> selected;
  selected.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    // ASCII only, so widening byte by byte is exact.
    const std::string path = "X:\\Projects\\Kestrova\\data\\batch " + std::to_string(i) + ".csv";
    selected.push_back({i, Text(path.begin(), path.end())});
  }
  return selected;
}

void BM_ClipTextForSelection(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const auto selected = selection_of(n);
  const DriveTable table = default_table();
  for ([[maybe_unused]] auto _ : state) {
    benchmark::DoNotOptimize(kestrova::clip_text_for_selection(selected, n, table, kAllOn));
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ClipTextForSelection)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

// The front end's reading minus the file: a mountinfo text parsed at every
// ask.
struct MountinfoText final : kestrova::NetworkMounts {
  std::string text;
  std::vector<kestrova::NetworkMount> network_mounts() const override {
    return kestrova::parse_mountinfo(text, u"/run/user/1000");
  }
};

const Text kShare = u"/mnt/share9999/Projects/Kestrova/docs/2024 reports/quarterly report.final.xlsx";
const Text kShareQuoted =
    u"\"/mnt/share9999/Projects/Kestrova/docs/2024 reports/quarterly report.final.xlsx\"";

void BM_EditClipFiftyRowsAndMountinfo(benchmark::State& state) {
  const DriveTable table = kestrova::samples::fifty_mixed_rows();
  MountinfoText mounts;
  mounts.text = kestrova::samples::many_mounts_mountinfo(static_cast<int>(state.range(0)));
  for ([[maybe_unused]] auto _ : state) {
    Text text = kShareQuoted;
    benchmark::DoNotOptimize(kestrova::EDIT_CLIP(text, 0, 0, table, kAllOn, &mounts));
  }
}
BENCHMARK(BM_EditClipFiftyRowsAndMountinfo)->Arg(10'000)->Unit(benchmark::kMicrosecond);

// The same edit in a drop or a click of many paths, which share one reading
// of the mounts: the rows' own cost.
void BM_EditClipFiftyRowsKnownMounts(benchmark::State& state) {
  const DriveTable table = kestrova::samples::fifty_mixed_rows();
  MountinfoText mounts;
  mounts.text = kestrova::samples::many_mounts_mountinfo(10'000);
  const kestrova::NetworkMountsOnce once(&mounts);
  for ([[maybe_unused]] auto _ : state) {
    benchmark::DoNotOptimize(kestrova::DRIVE_CHG_edit(table, kShare, once));
  }
}
BENCHMARK(BM_EditClipFiftyRowsKnownMounts);

}  // namespace
