// The text primitives on arbitrary texts. Input: one control byte (the
// start position for Text_pick), then texts as fuzz_text reads them, split
// at line feeds: the first is the path, line or file name, the second the
// key that Text_pick and B_Instr look for. The raw bytes also go through the
// UTF-8 conversions.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "text/fuzz_input.h"
#include "text/text.h"

namespace {

using kestrova::Text;
using kestrova::TextView;
using kestrova::fuzzing::require;
using kestrova::fuzzing::space_at_an_end;

// trim(text) must be text without the spaces around it: what is left has
// none at its ends, and nothing but spaces was taken off.
void check_trim(TextView text, const Text& trimmed) {
  require(!space_at_an_end(trimmed), "trim leaves no space at an end");
  const auto first = text.find_first_not_of(u' ');
  if (first == TextView::npos) {
    require(trimmed.empty(), "a text of spaces trims to nothing");
    return;
  }
  require(text.substr(first, trimmed.size()) == trimmed, "trim keeps the text from its first non-space");
  require(text.find_first_not_of(u' ', first + trimmed.size()) == TextView::npos,
          "trim takes off only spaces behind the text");
}

void check_phase_path(const Text& input, TextView separators) {
  const Text untouched = u"\x1untouched";
  Text folder = untouched;
  Text file = untouched;
  kestrova::Phase_PATH(input, folder, file, separators);
  const auto last = input.find_last_of(separators);
  if (last == Text::npos) {
    require(folder == untouched && file == untouched, "a path without separator leaves both outputs");
    return;
  }
  require(folder == TextView(input).substr(0, last), "the folder is the text before the last separator");
  const TextView rest = TextView(input).substr(last + 1);
  check_trim(rest, file);
}

void check_phase_file_name(const Text& input) {
  const Text trimmed = kestrova::trim(input);
  check_trim(input, trimmed);
  Text base = u"\x1untouched";
  Text extension = u"\x1untouched";
  kestrova::Phase_file_name(input, base, extension);
  require(extension.find(u'.') == Text::npos, "the extension has no dot");
  if (trimmed.find(u'.') == Text::npos) {
    require(base == trimmed && extension.empty(), "a name without dot is all base name");
    return;
  }
  require(base + u"." + extension == trimmed, "base name, dot and extension give back the name");
}

// Walks through the whole line field by field, as the settings loader does.
void check_text_pick(const Text& line, const Text& key_given, std::size_t start) {
  Text key = key_given;
  std::size_t pos = start;
  // Every successful pick moves pos forward and pos never passes the end by
  // more than one, so the walk ends; the bound only guards against a fault
  // that would stop it moving.
  for (std::size_t step = 0; step <= line.size() + 1; ++step) {
    const std::size_t before = pos;
    const Text key_before = key;
    const Text field = kestrova::Text_pick(line, key, pos);
    require(pos >= before, "Text_pick never moves pos backwards");
    require(key == key_before || (kestrova::trim(key_before).empty() && key == u" "),
            "only a blank key is rewritten, and to one space");
    if (pos == before) {
      require(field.empty(), "a pick that does not move pos reads nothing");
      return;
    }
    const std::size_t at = before - 1;
    require(at + field.size() <= line.size() && TextView(line).substr(at, field.size()) == field,
            "the field is the line's text from pos");
    require(TextView(line).substr(at + field.size(), key.size()) == key, "the key follows the field");
    require(TextView(line).find(key, at) == at + field.size(), "the field ends at the first key");
    const std::size_t advance = std::max<std::size_t>(kestrova::trim(key).size(), 1);
    require(pos == before + field.size() + advance, "pos moves behind the key by its trimmed length");
    require(pos <= line.size() + 1, "pos passes the end by one at most");
  }
  require(false, "Text_pick keeps moving forever");
}

void check_pos_zero_refused(const Text& line, Text key) {
  try {
    std::size_t zero = 0;
    kestrova::Text_pick(line, key, zero);
  } catch (const std::invalid_argument&) {
    return;
  }
  require(false, "Text_pick refuses pos 0");
}

void check_b_instr(const Text& text, const Text& search) {
  const std::size_t found = kestrova::B_Instr(text, search);
  if (found == 0) {
    require(search.empty() ? text.empty() : text.find(search) == Text::npos,
            "B_Instr returns 0 only without an occurrence");
    return;
  }
  require(found <= text.size() && TextView(text).substr(found - 1, search.size()) == search,
          "B_Instr points at an occurrence");
  require(search.empty() ? found == text.size() : text.find(search, found) == Text::npos,
          "B_Instr finds the last occurrence");
}

void check_utf8(std::string_view bytes, const Text& text) {
  const Text decoded = kestrova::from_utf8(bytes);
  require(kestrova::to_utf8(decoded) == bytes, "any bytes come back byte for byte");
  require(decoded.size() <= bytes.size(), "decoding never grows the text");

  // Surrogate pairs survive; a lone surrogate other than an escaped byte
  // turns into one U+FFFD. Escapes give their bytes, which may decode as
  // one character together, so text holding them is left to the first check.
  const bool escapes =
      std::any_of(text.begin(), text.end(), [](char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; });
  if (escapes) {
    return;
  }
  const Text back = kestrova::from_utf8(kestrova::to_utf8(text));
  require(back.size() == text.size(), "UTF-16 through UTF-8 keeps its length");
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool surrogate = text[i] >= 0xD800 && text[i] <= 0xDFFF;
    require(back[i] == text[i] || (surrogate && back[i] == u'\xFFFD'),
            "only lone surrogates are replaced");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::size_t start = 1 + data[0] % 16;
  const auto fields = kestrova::fuzzing::split_fields(kestrova::fuzzing::fuzz_text(data + 1, size - 1));
  const Text& line = fields[0];
  const Text key = fields.size() > 1 ? fields[1] : Text();

  check_phase_path(line, kestrova::kWindowsPathSeparators);
  check_phase_path(line, kestrova::kPosixPathSeparators);
  check_phase_file_name(line);
  check_text_pick(line, key, start);
  check_pos_zero_refused(line, key);
  check_b_instr(line, key);
  check_utf8(std::string_view(reinterpret_cast<const char*>(data), size), line);
  return 0;
}
