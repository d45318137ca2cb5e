#include "text/text.h"

#include <stdexcept>

namespace kestrova {

namespace {

constexpr char16_t kSpace = u' ';
constexpr char32_t kReplacement = 0xFFFD;

// A byte that is no part of valid UTF-8 (always 0x80 or above) as the lone
// low surrogate U+DC80-U+DCFF that stands for it.
constexpr char16_t kEscapeBase = 0xDC00;
char16_t escaped(unsigned char byte) { return static_cast<char16_t>(kEscapeBase + byte); }

}  // namespace

Text trim(TextView text) {
  const auto first = text.find_first_not_of(kSpace);
  if (first == TextView::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(kSpace);
  return Text(text.substr(first, last - first + 1));
}

Text upper_ascii(TextView text) {
  Text out(text);
  for (auto& c : out) {
    if (c >= u'a' && c <= u'z') {
      c = static_cast<char16_t>(c - (u'a' - u'A'));
    }
  }
  return out;
}

Text Text_pick(TextView in_str, Text& skey, std::size_t& pos) {
  if (pos == 0) {
    throw std::invalid_argument("Text_pick: position must be at least 1");
  }
  std::size_t advance = trim(skey).size();
  if (advance == 0) {
    skey.assign(1, u' ');
    advance = 1;
  }
  if (pos > in_str.size()) {
    return {};
  }
  const auto found = in_str.find(skey, pos - 1);
  if (found == TextView::npos) {
    return {};
  }
  Text field(in_str.substr(pos - 1, found - (pos - 1)));
  pos = found + 1 + advance;
  return field;
}

std::size_t B_Instr(TextView in_str, TextView srch_str) {
  if (in_str.empty() || srch_str.size() > in_str.size()) {
    return 0;
  }
  if (srch_str.empty()) {
    return in_str.size();
  }
  const auto found = in_str.rfind(srch_str);
  return found == TextView::npos ? 0 : found + 1;
}

void Phase_PATH(TextView inp_path_file, Text& out_path, Text& out_file, TextView separators) {
  const auto at = inp_path_file.find_last_of(separators);
  if (at == TextView::npos) {
    return;
  }
  out_file = trim(inp_path_file.substr(at + 1));
  out_path = Text(inp_path_file.substr(0, at));
}

void Phase_file_name(TextView inp_file, Text& out_file, Text& out_kaku) {
  const Text t = trim(inp_file);
  const std::size_t d = B_Instr(t, u".");
  if (d == 0) {
    out_kaku.clear();
    out_file = t;
    return;
  }
  out_kaku = t.substr(d);
  out_file = t.substr(0, d - 1);
}

namespace {

void append_utf16(Text& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

Text from_utf8(std::string_view bytes) {
  Text out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
      out.push_back(escaped(lead));
      ++i;
      continue;
    }
    std::size_t taken = 1;
    bool ok = true;
    for (; taken <= extra; ++taken) {
      if (i + taken >= bytes.size()) {
        ok = false;
        break;
      }
      const auto b = static_cast<unsigned char>(bytes[i + taken]);
      if ((b & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (b & 0x3F);
    }
    if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      // Only the lead byte is escaped: the bytes after it are read afresh,
      // so a bad sequence never swallows the next valid character.
      out.push_back(escaped(lead));
      ++i;
      continue;
    }
    append_utf16(out, cp);
    i += taken;
  }
  return out;
}

std::string to_utf8(TextView text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= kEscapeBase + 0x80 && cp <= kEscapeBase + 0xFF) {
      out.push_back(static_cast<char>(cp - kEscapeBase));
      continue;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    append_utf8(out, cp);
  }
  return out;
}

}  // namespace kestrova
