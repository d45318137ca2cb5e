// Arbitrary bytes as the settings file, loaded and rebuilt the way a start
// and a close of the program do it, against an in-memory host. The check-box
// states at close come from the input too (the sum of its bytes), so every
// combination of ticked, cleared and grayed gets its turn.
//
// Which lines the rebuild owns is worked out here independently of the
// loader's parser: a line is an option line when, before any end marker,
// its text without the spaces around it starts with an option name in any
// case, then optional spaces, then "=".
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fixed_sources.h"
#include "tests/fake_host.h"
#include "settings/settings.h"
#include "text/fuzz_input.h"

namespace {

using kestrova::LoadedOptions;
using kestrova::testing::OptionStates;
using kestrova::Text;
using kestrova::TextView;
using kestrova::fuzzing::require;
using kestrova::testing::FakeHost;

const kestrova::SettingsFiles kFiles{Text(kestrova::kRedirectFileName), Text(kestrova::kSettingsFileName),
                                     Text(kestrova::kBackupFileName)};
constexpr std::string_view kBom = "\xEF\xBB\xBF";

struct OptionName {
  TextView name;
  int OptionStates::*state;
  std::int16_t LoadedOptions::*loaded;
};

// In the order in which the rebuild adds missing lines.
constexpr std::array<OptionName, 3> kOptionNames{{
    {u"TAG-SET", &OptionStates::tag, &LoadedOptions::TAG_SET},
    {u"CRLF-SET", &OptionStates::crlf, &LoadedOptions::CRLF_SET},
    {u"DRIVE-CHG-SET", &OptionStates::drive, &LoadedOptions::DRIVE_CHG_SET},
}};

Text line_text(std::string_view raw) { return kestrova::trim(kestrova::from_utf8(raw)); }

bool is_end_marker(std::string_view raw) {
  const Text text = line_text(raw);
  return !text.empty() && text.front() == u'@';
}

// The index in kOptionNames of the option the line sets, or -1.
int option_of(std::string_view raw) {
  const Text text = kestrova::upper_ascii(line_text(raw));
  for (std::size_t k = 0; k < kOptionNames.size(); ++k) {
    const TextView name = kOptionNames[k].name;
    if (!TextView(text).starts_with(name)) {
      continue;
    }
    const auto equals = text.find_first_not_of(u' ', name.size());
    if (equals != Text::npos && text[equals] == u'=') {
      return static_cast<int>(k);
    }
  }
  return -1;
}

std::string option_line(const OptionName& option, const OptionStates& checks) {
  return kestrova::to_utf8(option.name) + (checks.*option.state == 1 ? "=YES" : "=NO");
}

// The rebuilt file as it must come out of `lines`, all BOM-free.
std::vector<std::string> expected_rebuild(const std::vector<std::string>& lines, const OptionStates& checks) {
  std::size_t end_marker = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (is_end_marker(lines[i])) {
      end_marker = i;
      break;
    }
  }
  std::vector<std::string> out;
  std::array<bool, kOptionNames.size()> met{};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int option = i < end_marker ? option_of(lines[i]) : -1;
    if (option < 0) {
      out.push_back(lines[i]);
      continue;
    }
    met[static_cast<std::size_t>(option)] = true;
    out.push_back(option_line(kOptionNames[static_cast<std::size_t>(option)], checks));
  }
  std::vector<std::string> missing;
  for (std::size_t k = 0; k < kOptionNames.size(); ++k) {
    if (!met[k]) {
      missing.push_back(option_line(kOptionNames[k], checks));
    }
  }
  out.insert(out.begin() + static_cast<std::ptrdiff_t>(end_marker), missing.begin(), missing.end());
  return out;
}

bool strip_bom(std::string& line) {
  if (!line.starts_with(kBom)) {
    return false;
  }
  line.erase(0, kBom.size());
  return true;
}

bool same_table(const kestrova::DriveTable& a, const kestrova::DriveTable& b) {
  if (a.DRIVE_CHG_cnt != b.DRIVE_CHG_cnt) {
    return false;
  }
  for (std::int32_t i = 0; i < a.DRIVE_CHG_cnt; ++i) {
    if (a.DRIVE_letter[i] != b.DRIVE_letter[i] || a.DRIVE_realpath[i] != b.DRIVE_realpath[i]) {
      return false;
    }
  }
  return true;
}

OptionStates checks_from(const std::uint8_t* data, std::size_t size) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < size; ++i) {
    sum += data[i];
  }
  const unsigned states = sum % 27;
  // 2 stands for a grayed box, which counts as off.
  return {static_cast<int>(states % 3), static_cast<int>(states / 3 % 3), static_cast<int>(states / 9)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = kestrova::split_lines(content);
  const OptionStates checks = checks_from(data, size);

  FakeHost host;
  host.files[kFiles.File_name_info] = content;
  LoadedOptions loaded;
  try {
    loaded = kestrova::get_option(host, kFiles);
  } catch (const kestrova::ProgramEnded& ended) {
    require(ended.status == kestrova::kSettingsErrorStatus, "a settings error ends with its own status");
    require(host.content(kFiles.File_name_info) == content, "a settings error leaves the settings file");
    require(host.messages.size() == 1, "a settings error shows one message");
    const auto backup = kestrova::split_lines(host.content(kFiles.File_name_bak));
    require(!backup.empty() && backup.size() <= lines.size() &&
                std::equal(backup.begin(), backup.end(), lines.begin()),
            "the backup of a failed load is the lines read up to the error");
    return 0;
  }
  require(host.content(kFiles.File_name_info) == content, "loading never writes the settings file");
  require(kestrova::split_lines(host.content(kFiles.File_name_bak)) == lines,
          "the backup holds every line read");

  kestrova::WRITE_back_option(host, kFiles, checks);
  const std::string rebuilt = host.content(kFiles.File_name_info);
  std::vector<std::string> out = kestrova::split_lines(rebuilt);
  std::vector<std::string> in = lines;
  // A BOM belongs to the file, not to its first line: whatever line ends up
  // first carries it on.
  if (!in.empty() && strip_bom(in.front())) {
    require(!out.empty() && strip_bom(out.front()), "the rebuilt file keeps its BOM");
  }
  require(out == expected_rebuild(in, checks),
          "the rebuild rewrites the option lines, adds the missing ones and keeps every other line");

  FakeHost next_start;
  next_start.files[kFiles.File_name_info] = rebuilt;
  const LoadedOptions reloaded = kestrova::get_option(next_start, kFiles);
  for (const auto& option : kOptionNames) {
    require(reloaded.*option.loaded == (checks.*option.state == 1 ? 1 : 0),
            "the rebuilt file loads the check-box states written");
  }
  require(same_table(loaded.drive_table, reloaded.drive_table), "the rebuilt file keeps the drive table");
  kestrova::WRITE_back_option(next_start, kFiles, checks);
  require(next_start.content(kFiles.File_name_info) == rebuilt, "a second round trip changes nothing");
  return 0;
}
