#include "clip/clip.h"

#include <gtest/gtest.h>

#include "tests/fixed_sources.h"

namespace kestrova {
namespace {

using testing::OptionStates;
using testing::table_of;

const DriveTable kDefault = table_of({{u"X", u"\\\\realpath\\"}});
const OptionStates kOff{0, 0, 0};

TEST(DriveTable, HoldsFiftyRows) {
  DriveTable table;
  int added = 0;
  while (added <= DriveTable::kMaxRows && table.add_row(u"L", u"P")) { ++added; }
  EXPECT_EQ(std::pair(added, table.DRIVE_CHG_cnt), std::pair(50, 50));
}

TEST(DriveChgEdit, Cases) {
  const std::tuple<DriveTable, Text, Text> cases[] = {
      {kDefault, u"X:\\docs\\a.txt", u"\\\\realpath\\docs\\a.txt"},
      {kDefault, u"  C:\\a  ", u"C:\\a"},                                                  // no match: trimmed
      {table_of({{u"x", u"\\\\lower\\"}}), u"X:\\a", u"X:\\a"},                           // case-sensitive
      {kDefault, u"X:\\a\\X:\\b", u"\\\\realpath\\a\\X:\\b"},                              // first occurrence only
      {kDefault, u"ab X:\\c", u"\\\\realpath\\ab    c"},                                   // inside: blanks stay
      {table_of({{u"X", u"\\\\x\\"}, {u"Y", u"\\\\y\\"}}), u"Y:\\a X:\\b", u"\\\\x\\Y:\\a    b"},  // first row wins
      {table_of({{u"NET", u"\\\\srv\\"}}), u"NET:\\share\\f", u"\\\\srv\\share\\f"},      // whole key blanked
  };
  for (const auto& [table, in, want] : cases) {
    EXPECT_EQ(DRIVE_CHG_edit(table, in), want) << to_utf8(in);
  }
}

TEST(EditClip, Cases) {
  struct Case { Text in; OptionStates options; std::size_t cur, max; Text want; };  // options: drive, tag, crlf
  const Case cases[] = {
      {u"\"C:\\My Files\\a.txt\"", kOff, 0, 0, u"C:\\My Files\\a.txt"},
      {u"C:\\a.txt", {0, 1, 1}, 0, 0, u"<C:\\a.txt>\r\n"},
      {u"X:\\a.txt", kOff, 0, 3, u"X:\\a.txt\r\n"},  // not the last entry: a break; mapping off
      {u"X:\\docs\\a.txt", {1, 1, 0}, 2, 2, u"<\\\\realpath\\docs\\a.txt>"},
      {u" \"C:\\a.txt\"", kOff, 1, 1, u"\"C:\\a.txt"},  // a space before the quote keeps it
      {u"\"\"", {0, 1, 0}, 0, 0, u"<>"},
      {u"\"\"C:\\a\"\"", kOff, 0, 0, u"\"C:\\a\""},  // one quote per end
      {u"", {1, 1, 1}, 0, 0, u"<>\r\n"},
  };
  for (const auto& c : cases) {
    Text text = c.in;
    EXPECT_EQ(EDIT_CLIP(text, c.cur, c.max, kDefault, c.options), c.want) << to_utf8(c.in);
    EXPECT_EQ(text, c.want) << "edited in place";
  }
}

}  // namespace
}  // namespace kestrova
