// What the settings file costs at start and at close with a full drive table
// of 50 rows, against the in-memory host so only the settings code is timed.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tests/fixed_sources.h"
#include "tests/fake_host.h"
#include "settings/settings.h"

namespace {

using kestrova::testing::FakeHost;

const kestrova::SettingsFiles kFiles{kestrova::Text(kestrova::kRedirectFileName),
                                     kestrova::Text(kestrova::kSettingsFileName),
                                     kestrova::Text(kestrova::kBackupFileName)};

std::string full_settings_file() {
  std::vector<std::string> lines{kestrova::to_utf8(kestrova::default_settings_lines().front())};
  for (int i = 0; i < kestrova::DriveTable::kMaxRows; ++i) {
    lines.push_back("DRIVE-CHG=" + std::string(1, static_cast<char>('A' + i % 26)) +
                    std::to_string(i) + ",\\\\fileserver" + std::to_string(i) + "\\share\\ .. row " +
                    std::to_string(i));
  }
  lines.insert(lines.end(), {"DRIVE-CHG-SET=YES", "CRLF-SET=YES", "TAG-SET=NO"});
  return kestrova::join_lines(lines);
}

void BM_LoadSettings(benchmark::State& state) {
  FakeHost host;
  host.files[kFiles.File_name_info] = full_settings_file();
  for ([[maybe_unused]] auto _ : state) {
    benchmark::DoNotOptimize(kestrova::get_option(host, kFiles));
  }
}
BENCHMARK(BM_LoadSettings)->Unit(benchmark::kMicrosecond);

void BM_RewriteSettings(benchmark::State& state) {
  FakeHost host;
  host.files[kFiles.File_name_info] = full_settings_file();
  kestrova::get_option(host, kFiles);
  const kestrova::testing::OptionStates checks{1, 0, 1};
  for ([[maybe_unused]] auto _ : state) {
    kestrova::WRITE_back_option(host, kFiles, checks);
    benchmark::DoNotOptimize(host.files);
  }
}
BENCHMARK(BM_RewriteSettings)->Unit(benchmark::kMicrosecond);

}  // namespace
