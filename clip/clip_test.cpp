#include "clip/clip.h"

#include <gtest/gtest.h>

namespace kestrova {
namespace {

DriveTable table_of(std::initializer_list<std::pair<Text, Text>> rows) {
  DriveTable table;
  for (const auto& [letter, path] : rows) {
    EXPECT_TRUE(table.add_row(letter, path));
  }
  return table;
}

const DriveTable kDefault = table_of({{u"X", u"\\\\realpath\\"}});

TEST(DriveTable, HoldsFiftyRows) {
  DriveTable table;
  for (int i = 0; i < DriveTable::kMaxRows; ++i) {
    ASSERT_TRUE(table.add_row(u"L", u"P"));
  }
  EXPECT_FALSE(table.add_row(u"L", u"P"));
  EXPECT_EQ(table.DRIVE_CHG_cnt, 50);
  EXPECT_TRUE(table.DRIVE_letter[50].empty());
}

TEST(DriveChgEdit, Cases) {
  const DriveTable xy = table_of({{u"X", u"\\\\x\\"}, {u"Y", u"\\\\y\\"}});
  struct Case {
    const char* what;
    const DriveTable* table;
    Text in, want;
  };
  const DriveTable empty;
  const DriveTable lower = table_of({{u"x", u"\\\\lower\\"}});
  const DriveTable no_slash = table_of({{u"X", u"\\\\srv"}});
  const DriveTable long_letter = table_of({{u"NET", u"\\\\srv\\"}});
  const Case cases[] = {
      {"mapped", &kDefault, u"X:\\docs\\a.txt", u"\\\\realpath\\docs\\a.txt"},
      {"other drive", &kDefault, u"C:\\docs\\a.txt", u"C:\\docs\\a.txt"},
      {"trimmed without match", &kDefault, u"  C:\\a  ", u"C:\\a"},
      {"trimmed with match", &kDefault, u"  X:\\a  ", u"\\\\realpath\\a"},
      {"root only", &kDefault, u"X:\\", u"\\\\realpath\\"},
      {"case sensitive", &lower, u"X:\\a", u"X:\\a"},
      {"case sensitive reverse", &kDefault, u"x:\\a", u"x:\\a"},
      {"first occurrence only", &kDefault, u"X:\\a\\X:\\b", u"\\\\realpath\\a\\X:\\b"},
      {"key inside keeps blanks", &kDefault, u"ab X:\\c", u"\\\\realpath\\ab    c"},
      {"first row wins over earliest", &xy, u"Y:\\a X:\\b", u"\\\\x\\Y:\\a    b"},
      {"no separator added", &no_slash, u"X:\\docs", u"\\\\srvdocs"},
      {"whole long key blanked", &long_letter, u"NET:\\share\\f", u"\\\\srv\\share\\f"},
      {"empty table trims", &empty, u" X:\\a ", u"X:\\a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DRIVE_CHG_edit(*c.table, c.in), c.want) << c.what;
  }
}

struct ClipCase {
  const char* what;
  Text in;
  OptionStates options;  // drive, tag, crlf
  std::size_t cur, max;
  Text want;
};

class EditClip : public ::testing::TestWithParam<ClipCase> {};

TEST_P(EditClip, EditsInPlaceAndReturnsTheSame) {
  const auto& c = GetParam();
  Text text = c.in;
  const Text result = EDIT_CLIP(text, c.cur, c.max, kDefault, c.options);
  EXPECT_EQ(result, c.want);
  EXPECT_EQ(text, result);
}

const OptionStates kOff{0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Cases, EditClip,
    ::testing::Values(
        ClipCase{"quoted_all_off", u"\"C:\\My Files\\a.txt\"", kOff, 0, 0, u"C:\\My Files\\a.txt"},
        ClipCase{"tags_and_crlf", u"C:\\a.txt", {0, 1, 1}, 0, 0, u"<C:\\a.txt>\r\n"},
        ClipCase{"not_last_gets_crlf", u"C:\\a.txt", kOff, 0, 3, u"C:\\a.txt\r\n"},
        ClipCase{"drive_and_tags", u"X:\\docs\\a.txt", {1, 1, 0}, 2, 2, u"<\\\\realpath\\docs\\a.txt>"},
        ClipCase{"space_before_quote", u" \"C:\\a.txt\"", kOff, 1, 1, u"\"C:\\a.txt"},
        ClipCase{"two_quotes", u"\"\"", kOff, 0, 0, u""},
        ClipCase{"two_quotes_tagged", u"\"\"", {0, 1, 0}, 0, 0, u"<>"},
        ClipCase{"one_quote", u"\"", kOff, 0, 0, u""},
        ClipCase{"spaces_inside_quotes", u"\" C:\\a \"", kOff, 0, 0, u"C:\\a"},
        ClipCase{"leading_quote_only", u"\"C:\\a", kOff, 0, 0, u"C:\\a"},
        ClipCase{"trailing_quote_only", u"C:\\a\"", kOff, 0, 0, u"C:\\a"},
        ClipCase{"double_quotes_keep_one", u"\"\"C:\\a\"\"", kOff, 0, 0, u"\"C:\\a\""},
        ClipCase{"inner_quotes_stay", u"\"a\" \"b\"", kOff, 0, 0, u"a\" \"b"},
        ClipCase{"tabs_stay", u"\tC:\\a\t", kOff, 0, 0, u"\tC:\\a\t"},
        ClipCase{"drive_off", u"X:\\a", {0, 0, 0}, 0, 0, u"X:\\a"},
        ClipCase{"grayed_is_off", u"X:\\a", {2, 2, 2}, 0, 0, u"X:\\a"},
        ClipCase{"tags_around_map_then_crlf", u"X:\\a", {1, 1, 1}, 0, 0, u"<\\\\realpath\\a>\r\n"},
        ClipCase{"empty_text", u"", kOff, 0, 0, u""},
        ClipCase{"empty_text_all_on", u"", {1, 1, 1}, 0, 0, u"<>\r\n"},
        ClipCase{"spaces_only", u"   ", {0, 1, 0}, 0, 0, u"<>"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(EditClip, DriveStepSkippedWithEmptyTable) {
  Text text = u"X:\\a";
  EXPECT_EQ(EDIT_CLIP(text, 0, 0, DriveTable{}, OptionStates{1, 0, 0}), u"X:\\a");
}

// Options are asked for at every call, never cached.
class CountingOptions : public OptionSource {
 public:
  mutable int asked = 0;
  int tag = 0;
  int Check_drive() const override { return ++asked, 0; }
  int Check_TAG() const override { return ++asked, tag; }
  int Check_CRLF() const override { return ++asked, 0; }
};

TEST(EditClip, ReadsOptionsLive) {
  CountingOptions options;
  Text a = u"a";
  EXPECT_EQ(EDIT_CLIP(a, 0, 0, kDefault, options), u"a");
  options.tag = 1;
  Text b = u"b";
  EXPECT_EQ(EDIT_CLIP(b, 0, 0, kDefault, options), u"<b>");
  EXPECT_GE(options.asked, 4);
}

TEST(ClipTextForSelection, JoinsSelectedInListOrder) {
  const std::vector<SelectedEntry> all{{0, u"P1"}, {1, u"P2"}, {2, u"P3"}};
  EXPECT_EQ(clip_text_for_selection(all, 3, kDefault, OptionStates{0, 1, 0}), u"<P1>\r\n<P2>\r\n<P3>");
  // The line break looks at the list's last entry, not the last selected.
  EXPECT_EQ(clip_text_for_selection({{0, u"P1"}, {1, u"P2"}}, 3, kDefault, kOff), u"P1\r\nP2\r\n");
  EXPECT_EQ(clip_text_for_selection({}, 3, kDefault, kOff), u"");
  EXPECT_EQ(clip_text_for_selection({}, 0, kDefault, kOff), u"");
  // Road of one click: mapping happens at copy time for entries dropped unmapped.
  EXPECT_EQ(clip_text_for_selection({{0, u"X:\\docs\\a.txt"}, {1, u"C:\\b.txt"}}, 2, kDefault,
                                    OptionStates{1, 1, 0}),
            u"<\\\\realpath\\docs\\a.txt>\r\n<C:\\b.txt>");
}

}  // namespace
}  // namespace kestrova
