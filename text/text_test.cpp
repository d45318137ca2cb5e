#include "text/text.h"

#include <gtest/gtest.h>

#include <tuple>

#include <stdexcept>

namespace kestrova {
namespace {

TEST(Trim, OnlyAsciiSpaces) {
  EXPECT_EQ(trim(u"  a b  "), u"a b");
  EXPECT_EQ(trim(u"   "), u"");
  EXPECT_EQ(trim(u"\t\u3000a\u3000\t"), u"\t\u3000a\u3000\t");
  EXPECT_EQ(upper_ascii(u"tag-set az{\u00e9"), u"TAG-SET AZ{\u00e9");
}

TEST(TextPick, Cases) {
  struct Case { Text in, key; std::size_t pos; Text field; std::size_t new_pos; Text new_key; };
  const Case cases[] = {
      {u"CRLF-SET=YES ..", u"=", 1, u"CRLF-SET", 10, u"="},   // name of a setting
      {u"CRLF-SET=YES ..", u" ..", 10, u"YES", 15, u" .."},  // advance skips the key's space
      {u"=abc", u"=", 1, u"", 2, u"="},                      // key right at pos
      {u"a=bc", u"=", 3, u"", 3, u"="},                      // key only before pos
      {u"", u",", 1, u"", 1, u","},                          // empty input
      {u"a,b", u",", 9, u"", 9, u","},                       // pos beyond the end
      {u"ab cd", u"", 1, u"ab", 4, u" "},                    // empty key means a space
      {u"aXbx", u"x", 1, u"aXb", 5, u"x"},                   // case-sensitive
  };
  for (const auto& c : cases) {
    Text key = c.key;
    std::size_t pos = c.pos;
    EXPECT_EQ(Text_pick(c.in, key, pos), c.field) << to_utf8(c.in);
    EXPECT_EQ(std::pair(pos, key), std::pair(c.new_pos, c.new_key)) << to_utf8(c.in);
  }
  Text key = u"=";
  std::size_t pos = 0;
  EXPECT_THROW(Text_pick(u"a=b", key, pos), std::invalid_argument);
  // Far beyond 16-bit positions.
  const Text line = Text(70000, u'a') + u"=YES ..";
  pos = 1;
  EXPECT_EQ(Text_pick(line, key, pos).size(), 70000u);
  EXPECT_EQ(pos, 70002u);
}

TEST(PhasePath, SplitsAtTheLastSeparator) {
  const std::tuple<Text, TextView, Text, Text> cases[] = {
      {u"C:\\dir\\report.final.txt", kWindowsPathSeparators, u"C:\\dir", u"report.final.txt"},
      {u"C:\\", kWindowsPathSeparators, u"C:", u""},
      {u"\\name", kWindowsPathSeparators, u"", u"name"},
      {u" C:\\d.x\\ a.txt ", kWindowsPathSeparators, u" C:\\d.x", u"a.txt"},  // only the name is trimmed
      {u"/home/u/report.final.txt", kPosixPathSeparators, u"/home/u", u"report.final.txt"},
      {u"/d/a\\b.txt", kPosixPathSeparators, u"/d", u"a\\b.txt"},  // a backslash is part of a POSIX name
      // No separator keeps the caller's values.
      {u"a.txt", kWindowsPathSeparators, u"?", u"?"},
      {u"dir/a.txt", kWindowsPathSeparators, u"?", u"?"},
  };
  for (const auto& [in, separators, want_path, want_file] : cases) {
    Text path = u"?", file = u"?";
    Phase_PATH(in, path, file, separators);
    EXPECT_EQ(std::tie(path, file), std::tie(want_path, want_file)) << to_utf8(in);
  }
}

TEST(PhaseFileName, SplitsAtTheLastDot) {
  const std::tuple<Text, Text, Text> cases[] = {
      {u"report.final.txt", u"report.final", u"txt"}, {u".profile", u"", u"profile"},
      {u"name.", u"name", u""},                       {u"  plain  ", u"plain", u""},
      {u"", u"", u""},                                {u".", u"", u""},  // a name as long as the dot
      {u"a .txt", u"a ", u"txt"},                     {u" a.txt\"", u"a", u"txt\""},
      {Text(40000, u'n') + u".e", Text(40000, u'n'), u"e"},
  };
  for (const auto& [in, want_base, want_ext] : cases) {
    Text base = u"?", ext = u"?";
    Phase_file_name(in, base, ext);
    EXPECT_EQ(std::tie(base, ext), std::tie(want_base, want_ext)) << to_utf8(in).substr(0, 40);
  }
}

TEST(Utf8, RoundTripsAndKeepsMalformedBytes) {
  // The first code point of each length, and the last of the one before.
  const Text bounds = u"\u007F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF";
  EXPECT_EQ(to_utf8(bounds), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
  EXPECT_EQ(from_utf8(to_utf8(bounds)), bounds);
  // Each byte of a bad sequence stands for itself, and comes back as itself.
  const std::pair<std::string, Text> bad[] = {
      {"caf\xE9.txt", u"caf\xDCE9.txt"},  // Latin-1
      {"\x83\x5C.txt", u"\xDC83\\.txt"},  // Shift_JIS, whose second byte is a backslash
      {"\xE6\x97", u"\xDCE6\xDC97"},          {"\xE6" "A", u"\xDCE6" "A"},
      {"\xC0\xAF", u"\xDCC0\xDCAF"},         {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},  // overlong, surrogate
      {"\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"}, {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},  // overlong, too high
      {"\xFF\x80\xE6\x97\xA5", u"\xDCFF\xDC80\u65E5"},  {std::string("a\0b", 3), Text(u"a\0b", 3)},
  };
  for (const auto& [bytes, want] : bad) {
    EXPECT_EQ(from_utf8(bytes), want) << bytes;
    EXPECT_EQ(to_utf8(from_utf8(bytes)), bytes);
  }
  // Lone surrogates outside the escapes, high or low and at either end of
  // their ranges, have no bytes to stand for.
  EXPECT_EQ(to_utf8(Text{0xD800, u'a', 0xDC00, 0xDC7F, 0xDD00, 0xDFFF}),
            "\xEF\xBF\xBD" "a" "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kestrova
