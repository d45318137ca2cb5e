#include "text/text.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kestrova {
namespace {

TEST(Trim, RemovesOnlyAsciiSpaces) {
  EXPECT_EQ(trim(u"  a b  "), u"a b");
  EXPECT_EQ(trim(u"   "), u"");
  EXPECT_EQ(trim(u""), u"");
  EXPECT_EQ(trim(u"\ta\t"), u"\ta\t");
  EXPECT_EQ(trim(u"\u3000a\u3000"), u"\u3000a\u3000");
}

TEST(UpperAscii, LeavesNonAsciiAlone) {
  EXPECT_EQ(upper_ascii(u"tag-set x.y"), u"TAG-SET X.Y");
  EXPECT_EQ(upper_ascii(u"\u00e9z"), u"\u00e9Z");
}

struct PickCase {
  const char* name;
  Text in;
  Text key;
  std::size_t pos;
  Text field;
  std::size_t new_pos;
  Text new_key;
};

class TextPick : public ::testing::TestWithParam<PickCase> {};

TEST_P(TextPick, ReturnsFieldAndAdvances) {
  const auto& c = GetParam();
  Text key = c.key;
  std::size_t pos = c.pos;
  EXPECT_EQ(Text_pick(c.in, key, pos), c.field);
  EXPECT_EQ(pos, c.new_pos);
  EXPECT_EQ(key, c.new_key);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextPick,
    ::testing::Values(
        PickCase{"name_of_setting", u"CRLF-SET=YES ..", u"=", 1, u"CRLF-SET", 10, u"="},
        PickCase{"value_up_to_note_key", u"CRLF-SET=YES ..", u" ..", 10, u"YES", 15, u" .."},
        PickCase{"key_at_pos", u"=abc", u"=", 1, u"", 2, u"="},
        PickCase{"key_missing", u"abc", u"=", 1, u"", 1, u"="},
        PickCase{"key_only_before_pos", u"a=bc", u"=", 3, u"", 3, u"="},
        PickCase{"empty_input", u"", u",", 1, u"", 1, u","},
        PickCase{"pos_beyond_end", u"a,b", u",", 9, u"", 9, u","},
        PickCase{"empty_key_means_space", u"ab cd", u"", 1, u"ab", 4, u" "},
        PickCase{"blank_key_means_space", u"ab cd", u"   ", 1, u"ab", 4, u" "},
        PickCase{"case_sensitive", u"aXbx", u"x", 1, u"aXb", 5, u"x"},
        PickCase{"multi_char_key", u"a<=>b", u"<=>", 1, u"a", 5, u"<=>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextPick, WalksARowFieldByField) {
  const Text row = u"X,\\\\srv\\,";
  Text comma = u",";
  std::size_t pos = 1;
  EXPECT_EQ(Text_pick(row, comma, pos), u"X");
  EXPECT_EQ(Text_pick(row, comma, pos), u"\\\\srv\\");
  EXPECT_EQ(Text_pick(row, comma, pos), u"");
}

TEST(TextPick, PositionZeroIsRejected) {
  Text key = u"=";
  std::size_t pos = 0;
  EXPECT_THROW(Text_pick(u"a=b", key, pos), std::invalid_argument);
}

TEST(TextPick, PositionsBeyondSixteenBitsWork) {
  Text line(70000, u'a');
  line += u"=YES ..";
  Text key = u"=";
  std::size_t pos = 1;
  EXPECT_EQ(Text_pick(line, key, pos).size(), 70000u);
  EXPECT_EQ(pos, 70002u);
}

TEST(BInstr, FindsLastStart) {
  struct Case {
    Text in, srch;
    std::size_t want;
  };
  const Case cases[] = {
      {u"a.b.c", u".", 4}, {u"abc", u".", 0},   {u"aaa", u"aa", 2}, {u"", u".", 0},
      {u"", u"", 0},       {u"abc", u"", 3},    {u"ab", u"abc", 0}, {u"abc", u"abc", 1},
      {u"aBc", u"b", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(B_Instr(c.in, c.srch), c.want) << to_utf8(c.in) << " / " << to_utf8(c.srch);
  }
  Text big(100000, u'x');
  big[80000] = u'.';
  EXPECT_EQ(B_Instr(big, u"."), 80001u);
}

struct PathCase {
  Text in;
  Text path, file;
};

TEST(PhasePath, SplitsAtLastBackslash) {
  const PathCase cases[] = {
      {u"C:\\dir\\report.final.txt", u"C:\\dir", u"report.final.txt"},
      {u"C:\\", u"C:", u""},
      {u"\\name", u"", u"name"},
      {u"C:\\dir\\ a.txt ", u"C:\\dir", u"a.txt"},
      {u" C:\\d.x\\f", u" C:\\d.x", u"f"},
  };
  for (const auto& c : cases) {
    Text path = u"?", file = u"?";
    Phase_PATH(c.in, path, file, kWindowsPathSeparators);
    EXPECT_EQ(path, c.path) << to_utf8(c.in);
    EXPECT_EQ(file, c.file) << to_utf8(c.in);
  }
}

TEST(PhasePath, WithoutSeparatorKeepsCallersValues) {
  for (const Text& in : {Text(u"a.txt"), Text(u""), Text(u"dir/a.txt")}) {
    Text path = u"old path", file = u"old file";
    Phase_PATH(in, path, file, kWindowsPathSeparators);
    EXPECT_EQ(path, u"old path");
    EXPECT_EQ(file, u"old file");
  }
}

TEST(PhasePath, PosixSetAlsoSplitsAtSlash) {
  Text path, file;
  Phase_PATH(u"/home/u/report.final.txt", path, file, kPosixPathSeparators);
  EXPECT_EQ(path, u"/home/u");
  EXPECT_EQ(file, u"report.final.txt");
  Phase_PATH(u"C:\\a/b\\c.txt", path, file, kPosixPathSeparators);
  EXPECT_EQ(file, u"c.txt");
  Phase_PATH(u"C:\\a\\b/c.txt", path, file, kPosixPathSeparators);
  EXPECT_EQ(path, u"C:\\a\\b");
  EXPECT_EQ(file, u"c.txt");
  // The platform's own set is one of the two.
  EXPECT_TRUE(kPathSeparators == kPosixPathSeparators || kPathSeparators == kWindowsPathSeparators);
}

TEST(PhaseFileName, SplitsAtLastDot) {
  struct Case {
    Text in, base, ext;
  };
  const Case cases[] = {
      {u"report.final.txt", u"report.final", u"txt"},
      {u"a.b.c", u"a.b", u"c"},
      {u".profile", u"", u"profile"},
      {u"name.", u"name", u""},
      {u"  plain  ", u"plain", u""},
      {u"", u"", u""},
      {u"a .txt", u"a ", u"txt"},
      {u" a.txt\"", u"a", u"txt\""},
  };
  for (const auto& c : cases) {
    Text base = u"?", ext = u"?";
    Phase_file_name(c.in, base, ext);
    EXPECT_EQ(base, c.base) << to_utf8(c.in);
    EXPECT_EQ(ext, c.ext) << to_utf8(c.in);
  }
  Text huge(40000, u'n');
  huge += u".ext";
  Text base, ext;
  Phase_file_name(huge, base, ext);
  EXPECT_EQ(base.size(), 40000u);
  EXPECT_EQ(ext, u"ext");
}

TEST(Utf8, RoundTripsAndReplacesMalformedInput) {
  const Text mixed = u"a\u00e9\u65e5\U0001F600z";
  EXPECT_EQ(from_utf8(to_utf8(mixed)), mixed);
  EXPECT_EQ(to_utf8(u"\u65e5"), "\xE6\x97\xA5");
  EXPECT_EQ(from_utf8("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(from_utf8("\xE6\x97"), u"\uFFFD");           // cut short
  EXPECT_EQ(from_utf8("\xE6" "A"), u"\uFFFDA");          // next character survives
  EXPECT_EQ(from_utf8("\xC0\xAF"), u"\uFFFD\uFFFD");     // overlong lead is invalid
  EXPECT_EQ(from_utf8("\xED\xA0\x80"), u"\uFFFD");       // encoded surrogate
  EXPECT_EQ(to_utf8(Text(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(from_utf8(std::string("a\0b", 3)), Text(u"a\0b", 3));
}

}  // namespace
}  // namespace kestrova
