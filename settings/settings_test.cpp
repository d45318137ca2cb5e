#include "settings/settings.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/fake_host.h"
#include "tests/fixed_sources.h"

namespace kestrova {
namespace {

using testing::FakeHost;
using testing::OptionStates;

const Text kIni = u"kestrova.ini";
const Text kBak = u"kestrova.BAK";
const SettingsFiles kFiles{u"ini.ini", kIni, kBak};

std::string crlf(std::initializer_list<std::string> lines) { return join_lines(lines); }

std::string default_file() {
  FakeHost host;
  MAKE_default_option(host, kFiles);
  return host.content(kIni);
}

LoadedOptions load(FakeHost& host, const std::string& content) {
  host.files[kIni] = content;
  return get_option(host, kFiles);
}

// Loads, then writes back with the given check-box states; returns the file.
std::string round_trip(const std::string& content, const OptionStates& checks) {
  FakeHost host;
  load(host, content);
  WRITE_back_option(host, kFiles, checks);
  return host.content(kIni);
}

TEST(FindOptionFile, PlainNamesOrTheRedirectFolder) {
  FakeHost plain;
  const auto files = FIND_option_file(plain);
  EXPECT_EQ(files.File_name_ini_ini + files.File_name_info + files.File_name_bak, u"ini.inikestrova.inikestrova.BAK");
  const std::tuple<std::string, TextView, Text> cases[] = {
      {"  D:\\conf  ", u"\\", u"D:\\conf\\kestrova"},
      {"D:\\conf\\", u"\\", u"D:\\conf\\\\kestrova"},  // a trailing separator is doubled
      {"   ", u"\\", u"\\kestrova"},
      {"/etc/k", u"/", u"/etc/k/kestrova"},
      {"\xEF\xBB\xBF" "conf", u"/", u"conf/kestrova"},
  };
  for (const auto& [first_line, join, stem] : cases) {
    FakeHost host;
    host.files[u"ini.ini"] = first_line + "\r\nignored second line\r\n";
    const auto redirected = FIND_option_file(host, join);
    EXPECT_EQ(std::tie(redirected.File_name_info, redirected.File_name_bak),
              std::make_tuple(stem + u".ini", stem + u".BAK"));
  }
  FakeHost empty;
  empty.files[u"ini.ini"] = "";
  EXPECT_THROW(FIND_option_file(empty), FileError);
}

TEST(GetOption, DefaultBlankAndEmptyFiles) {
  FakeHost host;
  const DriveTable table = load(host, default_file()).drive_table;
  EXPECT_EQ(table.DRIVE_letter[0] + u"," + table.DRIVE_realpath[0], u"X,\\\\realpath\\");
  EXPECT_EQ(host.content(kBak), default_file());
  MAKE_default_option(host, kFiles);  // only when missing
  EXPECT_EQ(host.writes, std::vector<Text>{kBak});
  FakeHost empty;
  const auto none = load(empty, "");
  EXPECT_EQ(none.DRIVE_CHG_SET + none.CRLF_SET + none.TAG_SET + none.drive_table.DRIVE_CHG_cnt, 0);
  EXPECT_EQ(empty.content(kBak), "");
}

TEST(GetOption, OptionLineSpellings) {
  const std::pair<std::string, int> cases[] = {
      {"tag-set = YES", 1}, {"TAG-SET=yes", 0},       {"TAG-SET=Y", 0},    {"TAG-SET=YES .. a note", 1},
      {"TAG-SET=YES..", 0}, {"TAG-SET", 0},           {"=YES", 0},         {"   .TAG-SET=YES", 0},
      {"  TAG-SET=YES  ", 1}, {"TAG-SET=YES=1", 0},  {"\tTAG-SET=YES", 0},
      // The last line wins; nothing behind an end marker is read, not even a bad drive row.
      {"TAG-SET=YES\r\nTAG-SET=NO", 0},
      {"\r\n. note\r\nTAG-SET=YES", 1},  // comments and blank lines end nothing
      {"TAG-SET=YES\r\n@ end\r\nTAG-SET=NO\r\nDRIVE-CHG=,x", 1},
  };
  for (const auto& [line, tag] : cases) {
    FakeHost host;
    EXPECT_EQ(load(host, crlf({line})).TAG_SET, tag) << line;
  }
}

// Drive rows keep their spaces and case. An empty letter or path, or a 51st
// row, ends the program with its message and the file as it was; the backup
// ends with the offending line.
TEST(GetOption, DriveRows) {
  const auto bad = [](const Text& line) { return Text(kBadRowMessage) + line; };
  std::vector<std::string> too_many(50, "DRIVE-CHG=X,\\\\srv\\");
  too_many.insert(too_many.end(), {"TAG-SET=YES", "DRIVE-CHG=Y,\\\\other\\", "after"});
  // backup: how many of the lines the backup holds
  struct Case { std::vector<std::string> lines; std::vector<Text> rows; Text message; std::size_t backup; };
  const Case cases[] = {
      {{"drive-chg = x , \\\\srv\\", "DRIVE-CHG=Y,\\\\srv\\a,b", "x.y=1"},
       {u"x | \\\\srv\\", u"Y|\\\\srv\\a"}, u"", 3},
      {{"TAG-SET=YES", "DRIVE-CHG=,\\\\srv\\", "x"}, {}, bad(u"DRIVE-CHG=,\\\\srv\\"), 2},
      {{"TAG-SET=YES", "  DRIVE-CHG=X  "}, {}, bad(u"DRIVE-CHG=X"), 2},
      {too_many, {}, u"DRIVE-CHGパラメタオーバー　max=50", 52},
  };
  for (const auto& c : cases) {
    FakeHost host;
    const std::string content = join_lines(c.lines);
    try {
      const DriveTable table = load(host, content).drive_table;
      std::vector<Text> rows(static_cast<std::size_t>(table.DRIVE_CHG_cnt));
      for (int i = 0; i < table.DRIVE_CHG_cnt; ++i) {
        rows[static_cast<std::size_t>(i)] = table.DRIVE_letter[i] + u"|" + table.DRIVE_realpath[i];
      }
      EXPECT_EQ(rows, c.rows) << content;
    } catch (const ProgramEnded& ended) {
      EXPECT_EQ(ended.status, kSettingsErrorStatus);
    }
    EXPECT_EQ(host.messages, c.message.empty() ? std::vector<Text>{} : std::vector<Text>{c.message});
    EXPECT_EQ(host.content(kIni), content);
    EXPECT_EQ(split_lines(host.content(kBak)),
              std::vector<std::string>(c.lines.begin(), c.lines.begin() + c.backup));
  }
}

// Only the option lines change; missing ones are added in a fixed order, in
// front of an end marker (nothing behind it is read); bytes that are no
// UTF-8, every line end and a byte order mark survive.
TEST(WriteBackOption, RewritesOnlyTheOptionLines) {
  const std::string sjis = "\x90\xdd\x92\xe8 comment";  // Shift_JIS, invalid as UTF-8
  const std::string bom = "\xEF\xBB\xBF";
  const std::tuple<std::string, OptionStates, std::string> cases[] = {
      {default_file(), {1, 1, 1}, default_file()},
      {crlf({"  crlf-set = yes  ", "CRLF-SET=YES .. note", " keep me ", "DRIVE-CHG=X,\\\\a\\ ", "other=1",
             ".TAG-SET=YES", "tag-set=no", "drive-chg-set=whatever"}),
       {0, 1, 1},
       crlf({"CRLF-SET=YES", "CRLF-SET=YES", " keep me ", "DRIVE-CHG=X,\\\\a\\ ", "other=1", ".TAG-SET=YES",
             "TAG-SET=YES", "DRIVE-CHG-SET=NO"})},
      {crlf({"CRLF-SET=YES"}), {2, 1, 1}, crlf({"CRLF-SET=YES", "TAG-SET=YES", "DRIVE-CHG-SET=NO"})},
      {crlf({"CRLF-SET=NO", "@ end", "TAG-SET=YES", "tag-set = no", "\xff\xfe raw"}), {1, 1, 1},
       crlf({"CRLF-SET=YES", "TAG-SET=YES", "DRIVE-CHG-SET=YES", "@ end", "TAG-SET=YES", "tag-set = no", "\xff\xfe raw"})},
      {". " + sjis + "\nTAG-SET=YES\rDRIVE-CHG=X,\\\\" + sjis + "\\\n\xc3(bad\n", {0, 1, 0},
       crlf({". " + sjis, "TAG-SET=YES", "DRIVE-CHG=X,\\\\" + sjis + "\\", "\xc3(bad", "CRLF-SET=NO", "DRIVE-CHG-SET=NO"})},
      {bom + crlf({"tag-set=YES", "x"}), {0, 1, 0}, bom + crlf({"TAG-SET=YES", "x", "CRLF-SET=NO", "DRIVE-CHG-SET=NO"})},
      {bom + crlf({"@", "x"}), {0, 0, 0}, bom + crlf({"TAG-SET=NO", "CRLF-SET=NO", "DRIVE-CHG-SET=NO", "@", "x"})},
      {bom + crlf({"x", "@"}), {0, 0, 0}, bom + crlf({"x", "TAG-SET=NO", "CRLF-SET=NO", "DRIVE-CHG-SET=NO", "@"})},
  };
  for (const auto& [before, checks, after] : cases) {
    EXPECT_EQ(round_trip(before, checks), after) << before;
  }
}

TEST(WriteBackOption, WorksFromTheBackupAndFailsWithoutWriting) {
  FakeHost host;
  load(host, crlf({"TAG-SET=YES", "mine"}));
  host.files[kIni] = "edited by another program\r\n";
  WRITE_back_option(host, kFiles, OptionStates{0, 1, 0});
  EXPECT_EQ(host.content(kIni), crlf({"TAG-SET=YES", "mine", "CRLF-SET=NO", "DRIVE-CHG-SET=NO"}));
  host.files.erase(kBak);
  EXPECT_THROW(WRITE_back_option(host, kFiles, OptionStates{}), FileError);
}

// Another copy of the program, or the user, wrote the file after this copy
// read it: only the boxes this copy's user changed go into it.
TEST(WriteBackOption, AFileWrittenSinceStartKeepsWhatWasWritten) {
  const std::string read = crlf({"DRIVE-CHG=X,\\\\a\\", "DRIVE-CHG-SET=YES", "CRLF-SET=YES", "TAG-SET=YES"});
  const std::string other = crlf({"DRIVE-CHG=X,\\\\a\\", "DRIVE-CHG=Y,\\\\b\\", "DRIVE-CHG-SET=YES",
                                  "CRLF-SET=NO", "tag-set = yes"});
  struct Case { std::optional<std::string> now; OptionStates boxes; std::optional<std::string> after; };
  const Case cases[] = {
      // Unchanged since start: rebuilt from the backup, as always.
      {read, {1, 0, 0}, crlf({"DRIVE-CHG=X,\\\\a\\", "DRIVE-CHG-SET=YES", "CRLF-SET=NO", "TAG-SET=NO"})},
      // Changed since: no box changed (a command-line start) leaves it alone;
      {other, {1, 1, 1}, other},
      // the changed box alone goes in; a line it lacks is added.
      {other, {1, 0, 1}, crlf({"DRIVE-CHG=X,\\\\a\\", "DRIVE-CHG=Y,\\\\b\\", "DRIVE-CHG-SET=YES",
                               "CRLF-SET=NO", "TAG-SET=NO"})},
      {crlf({"x"}), {0, 1, 1}, crlf({"x", "DRIVE-CHG-SET=NO"})},
      // Removed since: stays removed unless a box changed.
      {std::nullopt, {1, 1, 1}, std::nullopt},
      {std::nullopt, {1, 1, 0}, crlf({"CRLF-SET=NO"})},
  };
  for (const auto& c : cases) {
    FakeHost host;
    const LoadedOptions loaded = load(host, read);
    host.files.erase(kIni);
    if (c.now) { host.files[kIni] = *c.now; }
    host.writes.clear();
    WRITE_back_option(host, kFiles, c.boxes, &loaded);
    EXPECT_EQ(host.files.contains(kIni) ? std::optional(host.content(kIni)) : std::nullopt, c.after)
        << c.now.value_or("(none)");
    EXPECT_EQ(host.writes.empty(), c.now == c.after) << c.now.value_or("(none)");
  }
}

TEST(SplitLines, EveryLineEndCounts) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(split_lines(""), Lines{});
  EXPECT_EQ(split_lines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(split_lines("a\r\n\r\n"), (Lines{"a", ""}));
  EXPECT_EQ(split_lines("\n\r"), (Lines{"", ""}));
}

}  // namespace
}  // namespace kestrova
