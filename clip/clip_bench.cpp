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

#include "tests/fixed_sources.h"
#include "clip/clip.h"

namespace {

using kestrova::DriveTable;
using kestrova::from_utf8;
using kestrova::testing::OptionStates;
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

// A mountinfo of `lines` lines, as on a host running many containers:
// overlay mounts, and every hundredth line a cifs share //nas/shareN at
// /mnt/shareN.
std::string many_mounts_mountinfo(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const std::string n = std::to_string(i);
    text.append(n).append(" 22 0:").append(n);
    if (i % 100 == 99) {
      text.append(" / /mnt/share").append(n).append(" rw,relatime shared:").append(n);
      text.append(" - cifs //nas/share")
          .append(n)
          .append(" rw,vers=3.1.1,cache=strict,username=u,uid=1000\n");
    } else {
      text.append(" / /var/lib/docker/overlay2/").append(n).append("/merged rw,relatime - overlay overlay ");
      text.append("rw,lowerdir=/var/lib/docker/overlay2/l/A").append(n);
      text.append(",upperdir=/var/lib/docker/overlay2/").append(n).append("/diff\n");
    }
  }
  return text;
}

// Fifty rows: mount-point rows and drive-letter rows that all miss
// /mnt/shareN paths, then "*,*" last, so that such a path tries every row.
DriveTable fifty_mixed_rows() {
  DriveTable table;
  for (int i = 0; i < DriveTable::kMaxRows - 1; ++i) {
    const Text n = from_utf8(std::to_string(i));
    if (i % 2 == 0) {
      table.add_row(u"/media/disk" + n, u"\\\\disk" + n + u"\\");
    } else {
      table.add_row(n, u"\\\\letter" + n + u"\\");
    }
  }
  table.add_row(u"*", u"*");
  return table;
}

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
  const DriveTable table = fifty_mixed_rows();
  MountinfoText mounts;
  mounts.text = many_mounts_mountinfo(static_cast<int>(state.range(0)));
  // A benchmark of a wrong answer measures nothing.
  if (Text text = kShareQuoted; kestrova::EDIT_CLIP(text, 0, 0, table, kAllOn, &mounts) !=
                                u"<\\\\nas\\share9999\\Projects\\Kestrova\\docs\\2024 reports\\quarterly "
                                u"report.final.xlsx>\r\n") {
    state.SkipWithError("the path did not reach the share through fifty rows");
    return;
  }
  for ([[maybe_unused]] auto _ : state) {
    Text text = kShareQuoted;
    benchmark::DoNotOptimize(kestrova::EDIT_CLIP(text, 0, 0, table, kAllOn, &mounts));
  }
}
BENCHMARK(BM_EditClipFiftyRowsAndMountinfo)->Arg(10'000)->Unit(benchmark::kMicrosecond);

// The same edit in a drop or a click of many paths, which share one reading
// of the mounts: the rows' own cost.
void BM_EditClipFiftyRowsKnownMounts(benchmark::State& state) {
  const DriveTable table = fifty_mixed_rows();
  MountinfoText mounts;
  mounts.text = many_mounts_mountinfo(10'000);
  const kestrova::NetworkMountsOnce once(&mounts);
  for ([[maybe_unused]] auto _ : state) {
    benchmark::DoNotOptimize(kestrova::DRIVE_CHG_edit(table, kShare, once));
  }
}
BENCHMARK(BM_EditClipFiftyRowsKnownMounts);

}  // namespace
