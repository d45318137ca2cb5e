// Turning a fuzzer's bytes into texts, shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "text/text.h"

namespace kestrova::fuzzing {

// A byte below 0x80 stands for itself, so seeds stay readable ASCII. A byte
// from 0x80 up takes the next two bytes as one code unit of any value, lone
// surrogates included, which no UTF-8 input could ever reach.
inline Text fuzz_text(const std::uint8_t* data, std::size_t size) {
  Text text;
  text.reserve(size);
  std::size_t i = 0;
  while (i < size) {
    const std::uint8_t lead = data[i];
    if (lead < 0x80 || i + 2 >= size) {
      text.push_back(static_cast<char16_t>(lead));
      ++i;
      continue;
    }
    text.push_back(static_cast<char16_t>((data[i + 1] << 8) | data[i + 2]));
    i += 3;
  }
  return text;
}

// The fields of a text between line feeds; a text without any is one field.
inline std::vector<Text> split_fields(TextView text) {
  std::vector<Text> fields;
  std::size_t start = 0;
  for (std::size_t at = text.find(u'\n'); at != TextView::npos; at = text.find(u'\n', start)) {
    fields.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
  fields.emplace_back(text.substr(start));
  return fields;
}

// True when the text begins or ends with U+0020, the only character trim
// removes.
inline bool space_at_an_end(TextView text) {
  return !text.empty() && (text.front() == u' ' || text.back() == u' ');
}

// A broken property has to stop the fuzzer on the input that broke it, and
// the log has to say which property that was.
inline void require(bool holds, const char* property) {
  if (!holds) {
    std::fprintf(stderr, "broken: %s\n", property);
    std::abort();
  }
}

}  // namespace kestrova::fuzzing
