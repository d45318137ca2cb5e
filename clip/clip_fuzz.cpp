// The clip edit on arbitrary texts and drive tables. Input: one control byte
// (bits 0-1 drive state, 2-3 tag state, 4-5 line-break state, each one of
// cleared, ticked, grayed or a stray -1; bit 6: the text is not the last
// entry; bit 7: the selection leaves out the list's last entry), then texts
// as fuzz_text reads them, split at line feeds: the clip text, then pairs of
// drive letter and network path, one table row per pair.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "clip/clip.h"
#include "text/fuzz_input.h"

namespace {

using kestrova::DriveTable;
using kestrova::OptionStates;
using kestrova::Text;
using kestrova::TextView;
using kestrova::fuzzing::require;
using kestrova::fuzzing::space_at_an_end;

int state_of(std::uint8_t bits) {
  constexpr int kStates[] = {0, 1, 2, -1};
  return kStates[bits & 3];
}

Text without_spaces(TextView text) {
  Text out;
  for (const char16_t c : text) {
    if (c != u' ') {
      out.push_back(c);
    }
  }
  return out;
}

void check_drive_chg_edit(const DriveTable& table, const Text& text) {
  const Text result = kestrova::DRIVE_CHG_edit(table, text);
  for (std::int32_t i = 0; i < table.DRIVE_CHG_cnt; ++i) {
    const Text key = table.DRIVE_letter[i] + u":\\";
    const auto at = text.find(key);
    if (at == Text::npos) {
      continue;
    }
    const Text& realpath = table.DRIVE_realpath[i];
    require(TextView(result).substr(0, realpath.size()) == realpath,
            "a mapped path starts with the first matching row's network path");
    const TextView rest = TextView(result).substr(realpath.size());
    require(!space_at_an_end(rest), "the text after the network path is trimmed");
    Text unkeyed = text;
    unkeyed.erase(at, key.size());
    require(without_spaces(rest) == without_spaces(unkeyed),
            "mapping drops the first key and nothing else but spaces");
    return;
  }
  require(!space_at_an_end(result), "an unmapped text is trimmed");
  require(without_spaces(result) == without_spaces(text) && result.size() <= text.size(),
          "an unmapped text loses nothing but spaces");
}

// What EDIT_CLIP starts from: a double quote at the very start and one at the
// very end count as spaces.
Text unquoted(Text text) {
  if (!text.empty() && text.front() == u'"') {
    text.front() = u' ';
  }
  if (!text.empty() && text.back() == u'"') {
    text.back() = u' ';
  }
  return text;
}

void check_edit_clip(const Text& input, std::size_t cur, std::size_t max, const DriveTable& table,
                     const OptionStates& options) {
  Text edited = input;
  const Text result = kestrova::EDIT_CLIP(edited, cur, max, table, options);
  require(edited == result, "EDIT_CLIP edits in place and returns the same text");

  TextView core = result;
  if (cur != max || options.crlf == 1) {
    require(core.ends_with(kestrova::kCrLf), "a line break where one is due");
    core.remove_suffix(kestrova::kCrLf.size());
  }
  if (options.tag == 1) {
    require(core.size() >= 2 && core.front() == u'<' && core.back() == u'>', "tags where they are due");
    core = core.substr(1, core.size() - 2);
  }

  const Text base = kestrova::trim(unquoted(input));
  if (table.DRIVE_CHG_cnt > 0 && options.drive == 1) {
    require(core == kestrova::DRIVE_CHG_edit(table, base), "the drive mapping applies to the trimmed text");
    return;
  }
  require(!space_at_an_end(core), "without mapping the edited text is trimmed");
  require(core == base, "without mapping only the end quotes and the spaces go");
}

void check_selection(const std::vector<Text>& texts, std::size_t entry_count, const DriveTable& table,
                     const OptionStates& options) {
  std::vector<kestrova::SelectedEntry> selected;
  Text expected;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    selected.push_back({i, texts[i]});
    Text edited = texts[i];
    expected += kestrova::EDIT_CLIP(edited, i, entry_count - 1, table, options);
  }
  require(kestrova::clip_text_for_selection(selected, entry_count, table, options) == expected,
          "the clip text of a selection is its entries' edits in order");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::uint8_t control = data[0];
  const OptionStates options(state_of(control), state_of(control >> 2), state_of(control >> 4));
  const bool last_entry = (control & 0x40) == 0;
  const bool last_left_out = (control & 0x80) != 0;

  const auto fields = kestrova::fuzzing::split_fields(kestrova::fuzzing::fuzz_text(data + 1, size - 1));
  const Text& text = fields[0];
  DriveTable table;
  for (std::size_t i = 1; i + 1 < fields.size(); i += 2) {
    if (!table.add_row(fields[i], fields[i + 1])) {
      break;
    }
  }

  check_drive_chg_edit(table, text);
  check_drive_chg_edit(table, kestrova::trim(text));
  check_edit_clip(text, last_entry ? 7 : 6, 7, table, options);
  check_selection(fields, fields.size() + (last_left_out ? 1 : 0), table, options);
  return 0;
}
