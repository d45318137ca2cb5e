// The window's behaviour against an in-memory window and settings files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/fake_host.h"
#include "tests/fake_view.h"

namespace kestrova {
namespace {

using testing::FakeHost;
using testing::FakeView;

class FormTest : public ::testing::Test {
 protected:
  FakeHost host;
  FakeView view;
  Text folder = std::filesystem::temp_directory_path().u16string();
  std::optional<oledrag_form> form;
  PathFlavour paths = PathFlavour::kWindows;
  Text start_folder = u"C:\\w";  // where the program was started

  // A fresh window over `settings` ("" leaves the host's files as they are).
  oledrag_form& load(const std::string& settings, const std::vector<Text>& items = {Text()}) {
    if (!settings.empty()) { host.files[u"kestrova.ini"] = settings; }
    form.emplace(host, view, folder, u"kestrova", nullptr, paths, start_folder);
    form->Form_Load(command_line_from_arguments(items));
    return *form;
  }
  std::string ini() const { return host.content(u"kestrova.ini"); }
};

TEST_F(FormTest, StartUpResizeAndHelp) {
  auto& form = load("TAG-SET=YES\r\nCRLF-SET=2\r\nDRIVE-CHG-SET=YES\r\n");
  EXPECT_EQ(view.caption_text, u"Kestrova  kestrova   Version:2.6.1");
  EXPECT_EQ(view.checks, (std::array<int, 3>{0, 1, 1}));  // CRLF, drive, TAG
  // Compared with one final separator each: Windows' temporary folder has one.
  EXPECT_EQ(std::filesystem::current_path() / "", std::filesystem::path(folder) / "");
  EXPECT_FALSE(view.clipboard || view.ended || view.shown || !view.messages.empty());
  view.outer_width = 8520;
  view.outer_height = 5340;
  form.Form_Resize();
  EXPECT_EQ(std::pair(view.list_width, view.list_height), std::pair(7668.0f, 3204.0f));
  form.MENU_HELP_Click();
  EXPECT_EQ(view.messages, std::vector<Text>{help_text()});
  host = FakeHost();  // a first start: the default file, every box ticked
  load("");
  EXPECT_EQ(view.checks, (std::array<int, 3>{1, 1, 1}));
}

TEST_F(FormTest, DropsWriteFromTheTopAndMapWhenDriveMappingIsOn) {
  auto& form = load("DRIVE-CHG=X,\\\\realpath\\\r\nDRIVE-CHG-SET=NO\r\n");
  form.List1_OLEDragDrop({u"a", u"X:\\b", u"c"});
  form.List1_OLEDragDrop({u"x"});
  EXPECT_EQ(view.list, (std::vector<Text>{u"x", u"X:\\b", u"c"}));
  view.set_checked(CheckBox::drive, true);
  form.List1_OLEDragDrop({u"1", u"X:\\docs\\2", u"3", u"4"});
  EXPECT_EQ(view.list, (std::vector<Text>{u"1", u"\\\\realpath\\docs\\2", u"3", u"4"}));
  form.List1_OLEDragDrop({});
  EXPECT_EQ(view.messages, std::vector<Text>{u"無選択です"});
  view = FakeView();
  load("DRIVE-CHG-SET=YES\r\n").List1_OLEDragDrop({u" a "});  // no rows: nothing mapped, nothing trimmed
  EXPECT_EQ(view.list, std::vector<Text>{u" a "});
}

TEST_F(FormTest, ClickCopiesTheSelectionEditedWithTheBoxesOfNow) {
  auto& form = load("DRIVE-CHG=X,\\\\realpath\\\r\nTAG-SET=YES\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n");
  form.List1_OLEDragDrop({u"X:\\docs\\a.txt", u"b", u"c"});
  view.set_checked(CheckBox::drive, true);
  view.selected = {0, 1, 2};
  form.List1_Click();
  EXPECT_EQ(view.clipboard, Text(u"<\\\\realpath\\docs\\a.txt>\r\n<b>\r\n<c>"));
  view.set_checked(CheckBox::TAG, false);
  view.selected = {1};
  form.List1_Click();
  EXPECT_EQ(view.clipboard, Text(u"b\r\n"));  // not the list's last entry
  view.selected.clear();
  form.List1_Click();
  EXPECT_EQ(view.clipboard, Text());
  form.MENU_CLEAR_Click();
  EXPECT_TRUE(view.list.empty());
  EXPECT_EQ(view.clipboard, Text());  // CLEAR is no click
}

// One or several items: each existing path copied as a click on it in the
// list would, or the bare names behind $FILENAME$ (the splitting itself is
// text_test's); anything else as the one text it always was. On POSIX a name
// without "/" is a file name of its own, unless it is a Windows path.
TEST_F(FormTest, CommandLineItemsCopyAsAClickOnThemWould) {
  const auto posix = PathFlavour::kPosix;
  struct Case { std::vector<Text> items; Text clipboard; PathFlavour flavour = PathFlavour::kWindows; };
  const Case cases[] = {
      {{u"C:\\d\\a b.txt", u"X:\\docs\\e.txt", u"C:\\d\\sub"},
       u"<C:\\d\\a b.txt>\r\n<\\\\realpath\\docs\\e.txt>\r\n<C:\\d\\sub>"},
      {{u"$FILENAME$", u"C:\\d\\a b.txt", u"C:\\d\\r.final.txt", u"C:\\d\\sub"}, u"a b\r\nr.final\r\nsub"},
      {{u"C:\\d\\a b.txt", u"C:\\d\\gone.txt"}, u"<C:\\d\\a b.txt C:\\d\\gone.txt>"},
      {{u"C:\\d\\a", u"b.txt"}, u"<C:\\d\\a b.txt>"},  // b.txt is no full path
      {{u"$FILENAME$ \"C:\\x y\\README\""}, u"README"},  // the quotes go before the split
      {{u"$FILENAME$ \"C:\\a\" \"C:\\b\""}, u"b\""},     // two paths are no enclosed one
      {{u"xyz$FILENAME$C:\\d\\f.txt"}, u"f"},
      // A folder with its separator at the end is named by its last part; a
      // root has no name and is copied as it stands, never as nothing.
      {{u"$FILENAME$ C:\\d\\sub\\"}, u"sub"},
      {{u"$FILENAME$", u"Z:\\"}, u"Z:\\"},
      {{u"$FILENAME$", u"/w/sub//"}, u"sub", posix},
      {{u"$FILENAME$", u"/"}, u"/", posix},
      {{u"$filename$ a"}, u"<$filename$ a>"},
      {{u"$FILENAME$", u"r.final.txt"}, u"r.final", posix},
      {{u"$FILENAME$", u"ab\\c.txt"}, u"ab\\c", posix},
      {{u"$FILENAME$", u"C:\\dir\\r.final.txt"}, u"r.final", posix},
      // Relative paths are read against the start folder, not the program's;
      // links are not resolved.
      {{u"./sub//a.txt"}, u"</w/sub/a.txt>", posix},
      {{u"sub/a.txt", u"/d/link"}, u"</w/sub/a.txt>\r\n</d/link>", posix},
      {{u"gone.txt"}, u"<gone.txt>", posix},
      {{u"\"sub\\a b.txt\""}, u"<C:\\w\\sub\\a b.txt>"},
      {{u".\\sub/./a b.txt", u"C:\\d\\sub"}, u"<C:\\w\\sub\\a b.txt>\r\n<C:\\d\\sub>"},
  };
  for (const auto& c : cases) {
    host = FakeHost();
    host.files = {{u"C:\\d\\a b.txt", ""}, {u"C:\\d\\r.final.txt", ""}, {u"X:\\docs\\e.txt", ""}, {u"b.txt", ""},
                  {u"C:\\w\\sub\\a b.txt", ""}, {u"/d/link", ""}, {u"/w/sub/a.txt", ""}};
    host.folders = {u"C:\\d\\sub"};
    view = FakeView();
    paths = c.flavour;
    start_folder = c.flavour == posix ? u"/w" : u"C:\\w";
    load("DRIVE-CHG=X,\\\\realpath\\\r\nTAG-SET=YES\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=YES\r\n", c.items);
    EXPECT_EQ(view.clipboard, c.clipboard) << to_utf8(c.clipboard);
    const bool named = std::any_of(c.items.begin(), c.items.end(), [](const Text& item) {
      return item.find(u"$FILENAME$") != Text::npos;
    });
    EXPECT_EQ(view.messages, named ? std::vector<Text>{} : std::vector<Text>{u"CLIPBOAD COPIED=" + c.clipboard});
    // Ended at once, the settings file written back as a window's close would.
    EXPECT_EQ(std::pair(view.ended, host.writes),
              std::pair(std::optional(0), std::vector<Text>{u"kestrova.BAK", u"kestrova.ini"}));
  }
  // Few paths, but too long together: each cut, and the count.
  host = FakeHost();
  view = FakeView();
  const Text long_path = u"/" + Text(1100, u'x');
  host.folders = {long_path};
  load("TAG-SET=NO\r\nCRLF-SET=YES\r\n", {long_path, long_path});
  const Text cut = u"/" + Text(49, u'x') + u"…" + Text(50, u'x') + u"\r\n";
  EXPECT_EQ(view.messages.at(0), u"CLIPBOAD COPIED=" + cut + cut + u"…（全2件）");
  // Twenty paths of up to 100, 2,000 characters in all, are shown whole; a
  // 21st cuts the box after the 20th.
  for (const std::size_t count : {20, 21}) {
    host = FakeHost();
    view = FakeView();
    std::vector<Text> items;
    for (std::size_t i = 0; i < count; ++i) {
      items.push_back(u"/" + Text(i == 0 ? 99 : 97, static_cast<char16_t>(u'a' + i)));  // the first 100 long
      host.folders.insert(items.back());
    }
    load("TAG-SET=NO\r\nCRLF-SET=NO\r\n", items);
    const Text whole = u"CLIPBOAD COPIED=" + view.clipboard.value_or(u"");
    EXPECT_EQ(view.messages.at(0), count == 20 ? whole : whole.substr(0, whole.find(u"/u")) + u"…（全21件）");
  }
}

TEST(CommandLine, ItemsAreTheArgumentsOrWhatWindowsMakesOfItsTail) {
  const char* const argv[] = {"kestrova", "", "\xe6\x97\xa5", "-platform", "caf\xe9"};
  const CommandLine from_argv = command_line_from_argv(5, argv);
  EXPECT_EQ(from_argv.items, (std::vector<Text>{u"", u"日", u"-platform", u"caf\xDCE9"}));
  const std::pair<Text, std::vector<Text>> tails[] = {
      {u"", {}},
      // As Explorer hands a selection to Send To.
      {u"\"C:\\docs\\a b.txt\" C:\\docs\\c.txt", {u"C:\\docs\\a b.txt", u"C:\\docs\\c.txt"}},
      {u"C:\\my dir\\a.txt \t", {u"C:\\my", u"dir\\a.txt"}},
      {u"$FILENAME$ \"\" \"C:\\\"", {u"$FILENAME$", u"", u"C:\""}},
      {u"a\\\\\"b c\"\\\\d \\\\\\\"e", {u"a\\b c\\\\d", u"\\\"e"}},
      // Quotes in a row, as Wine's CommandLineToArgvW takes them.
      {u"\"a\"\"b\" c \"\"\"d\"", {u"a\"b c \"d"}},
      {u"\"a\"\"\"b\" c", {u"a\"b", u"c"}},
  };
  for (const auto& [tail, items] : tails) {
    const CommandLine line = command_line_from_tail(tail);
    EXPECT_EQ(line.text, tail);
    EXPECT_EQ(line.items, items) << to_utf8(tail);
  }
}

// A copy passes from the old text to the new in one step: a clear before it
// would let a clipboard manager that refills an empty clipboard put its last
// entry back over the copy. A clear that nothing replaces still happens,
// but never over another program's text that replaced the copy at once.
TEST_F(FormTest, ACopyIsOneStepAndAClearWithoutCopyStillClears) {
  using Calls = std::vector<Text>;
  enum Refuse { no, refused, taken };
  struct Case { const char* what; std::vector<Text> items; bool needs_input, press_ok; Refuse refuse; Calls calls; };
  const Case cases[] = {
      {"file-name mode", {u"$FILENAME$", u"\\x\\a.txt"}, false, true, no, {u"set a"}},
      {"a path and its box", {u"\\x\\a.txt"}, false, true, no, {u"set \\x\\a.txt"}},
      {"copied again from OK", {u"$FILENAME$", u"\\x\\a.txt"}, true, true, no, {u"set a", u"set a"}},
      {"box closed without OK", {u"$FILENAME$", u"\\x\\a.txt"}, true, false, no, {u"set a", u"clear"}},
      {"a refused copy", {u"\\x\\a.txt"}, false, true, refused, {u"refused", u"clear"}},
      {"a copy taken over", {u"\\x\\a.txt"}, false, true, taken, {u"taken"}},
  };
  for (const Case& c : cases) {
    view = FakeView();
    view.clipboard = u"old";
    view.needs_user_input = c.needs_input;
    view.press_ok = c.press_ok;
    view.refuse_clipboard = c.refuse == refused;
    view.take_over = c.refuse == taken;
    try {
      load("TAG-SET=NO\r\nCRLF-SET=NO\r\n", c.items);
    } catch (const PlatformError&) {
      EXPECT_NE(c.refuse, no) << c.what;
    }
    EXPECT_EQ(view.clipboard_calls, c.calls) << c.what;
  }
  // In the window: a click copies in one step; on an empty list, or when the
  // copy is refused, it clears.
  view = FakeView();
  auto& form = load("TAG-SET=NO\r\nCRLF-SET=NO\r\n");
  form.List1_Click();
  form.List1_OLEDragDrop({u"b"});
  view.selected = {0};
  form.List1_Click();
  view.refuse_clipboard = true;
  form.List1_Click();
  EXPECT_EQ(view.clipboard_calls, (Calls{u"clear", u"set b", u"refused", u"clear"}));
  EXPECT_FALSE(view.clipboard.has_value());
}

// A clear that stands alone (a click on an empty list) is no less a platform
// call than a copy: its failure is shown, not lost in the deferral that lets
// a copy replace it. Nothing runs after a failure.
TEST_F(FormTest, FailuresAreShownEndTheProgramAndWriteNothing) {
  for (const bool empty_list : {false, true}) {
    view = FakeView();
    auto& form = load("TAG-SET=YES\r\n");
    if (!empty_list) {
      form.List1_OLEDragDrop({u"a"});
      view.selected = {0};
    }
    view.refuse_clipboard = view.refuse_clear = true;
    // A close and a drop while the failure is shown, and once it is gone.
    const auto close_and_drop = [&] { form.Form_QueryUnload(), form.List1_OLEDragDrop({}); };
    view.during_message = close_and_drop;
    form.List1_Click();
    EXPECT_EQ(view.messages, std::vector<Text>{empty_list ? u"cannot clear the clipboard: refused"
                                                          : u"cannot set the clipboard: refused"});
    EXPECT_EQ(view.ended, kPlatformFailureStatus);
    close_and_drop();
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(ini(), "TAG-SET=YES\r\n");
  }
}

TEST_F(FormTest, RunProgramGivesTheExitStatus) {
  const auto run = [&](const std::string& settings, const Text& line) {
    view = FakeView();
    view.while_shown = [this](oledrag_form& form) {
      view.set_checked(CheckBox::TAG, false);
      view.set_checked(CheckBox::CRLF, true);
      form.Form_QueryUnload();
    };
    if (!settings.empty()) { host.files[u"kestrova.ini"] = settings; }
    return run_program(view, [&]() -> SettingsHost& { return host; },
                       {command_line_from_arguments({line}), folder, u"kestrova"});
  };
  // Window mode: shown until closed, then the boxes of then written back.
  EXPECT_EQ(run("TAG-SET=YES\r\n", {}), 0);
  EXPECT_TRUE(view.shown);
  EXPECT_EQ(view.ended, 0);
  EXPECT_EQ(host.writes, (std::vector<Text>{u"kestrova.BAK", u"kestrova.ini"}));
  EXPECT_EQ(ini(), "TAG-SET=NO\r\nCRLF-SET=YES\r\nDRIVE-CHG-SET=NO\r\n");
  // A settings error: its message, status 2, the file as it was.
  const std::string bad = "TAG-SET=YES\r\nDRIVE-CHG=X,\r\n";
  EXPECT_EQ(run(bad, u"/a"), kSettingsErrorStatus);
  EXPECT_EQ(host.messages, std::vector<Text>{Text(kBadRowMessage) + u"DRIVE-CHG=X,"});
  EXPECT_EQ(view.ended, kSettingsErrorStatus);
  // A platform failure at start: its message, status 1.
  host = FakeHost();
  host.unwritable.insert(u"kestrova.ini");
  EXPECT_EQ(run("", u"/a"), kPlatformFailureStatus);
  EXPECT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.ended, kPlatformFailureStatus);
  EXPECT_EQ(view.form, nullptr);
}

}  // namespace
}  // namespace kestrova
