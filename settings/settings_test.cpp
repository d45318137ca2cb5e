#include "settings/settings.h"

#include <gtest/gtest.h>

#include "settings/fake_host.h"

namespace kestrova {
namespace {

using testing::FakeHost;

const Text kIni = u"kestrova.ini";
const Text kBak = u"kestrova.BAK";
const SettingsFiles kFiles{u"ini.ini", kIni, kBak};

// A settings file whose lines are given as UTF-8 and joined with CR LF.
std::string crlf(std::initializer_list<std::string> lines) { return join_lines(lines); }

std::string default_file() {
  std::vector<std::string> lines;
  for (const auto& line : default_settings_lines()) {
    lines.push_back(to_utf8(line));
  }
  return join_lines(lines);
}

TEST(FindOptionFile, PlainNamesWithoutRedirect) {
  FakeHost host;
  const auto files = FIND_option_file(host);
  EXPECT_EQ(files.File_name_ini_ini, u"ini.ini");
  EXPECT_EQ(files.File_name_info, u"kestrova.ini");
  EXPECT_EQ(files.File_name_bak, u"kestrova.BAK");
}

TEST(FindOptionFile, FollowsFirstLineOfRedirect) {
  struct Case {
    std::string first_line;
    TextView join;
    Text info, bak;
  };
  const Case cases[] = {
      {"  D:\\conf  ", u"\\", u"D:\\conf\\kestrova.ini", u"D:\\conf\\kestrova.BAK"},
      {"D:\\conf\\", u"\\", u"D:\\conf\\\\kestrova.ini", u"D:\\conf\\\\kestrova.BAK"},
      {"   ", u"\\", u"\\kestrova.ini", u"\\kestrova.BAK"},
      {"/etc/k", u"/", u"/etc/k/kestrova.ini", u"/etc/k/kestrova.BAK"},
      {"\xEF\xBB\xBF" "conf", u"/", u"conf/kestrova.ini", u"conf/kestrova.BAK"},
  };
  for (const auto& c : cases) {
    FakeHost host;
    host.files[u"ini.ini"] = c.first_line + "\r\nignored second line\r\n";
    const auto files = FIND_option_file(host, c.join);
    EXPECT_EQ(files.File_name_info, c.info) << c.first_line;
    EXPECT_EQ(files.File_name_bak, c.bak) << c.first_line;
  }
}

TEST(FindOptionFile, RedirectWithoutLineIsAFileError) {
  FakeHost host;
  host.files[u"ini.ini"] = "";
  EXPECT_THROW(FIND_option_file(host), FileError);
}

TEST(MakeDefaultOption, CreatesFiveLinesOnlyWhenMissing) {
  FakeHost host;
  MAKE_default_option(host, kFiles);
  EXPECT_EQ(host.content(kIni), default_file());
  EXPECT_EQ(split_lines(host.content(kIni)).size(), 5u);
  EXPECT_EQ(split_lines(host.content(kIni))[1], "DRIVE-CHG=X,\\\\realpath\\");

  FakeHost existing;
  existing.files[kIni] = "";
  MAKE_default_option(existing, kFiles);
  EXPECT_EQ(existing.content(kIni), "");
  EXPECT_TRUE(existing.writes.empty());
}

TEST(GetOption, DefaultFileTurnsAllOnWithOneRow) {
  FakeHost host;
  MAKE_default_option(host, kFiles);
  const auto loaded = get_option(host, kFiles);
  EXPECT_EQ(loaded.DRIVE_CHG_SET, 1);
  EXPECT_EQ(loaded.CRLF_SET, 1);
  EXPECT_EQ(loaded.TAG_SET, 1);
  ASSERT_EQ(loaded.drive_table.DRIVE_CHG_cnt, 1);
  EXPECT_EQ(loaded.drive_table.DRIVE_letter[0], u"X");
  EXPECT_EQ(loaded.drive_table.DRIVE_realpath[0], u"\\\\realpath\\");
  EXPECT_EQ(host.content(kBak), host.content(kIni));
}

TEST(GetOption, EmptyFileLoadsAllOff) {
  FakeHost host;
  host.files[kIni] = "";
  const auto loaded = get_option(host, kFiles);
  EXPECT_EQ(loaded.TAG_SET + loaded.CRLF_SET + loaded.DRIVE_CHG_SET, 0);
  EXPECT_EQ(loaded.drive_table.DRIVE_CHG_cnt, 0);
  EXPECT_EQ(host.content(kBak), "");
}

struct TagCase {
  std::string line;
  int tag;
};

TEST(GetOption, OptionLineSpellings) {
  const TagCase cases[] = {
      {"tag-set = YES", 1},       {"TAG-SET=yes", 0},        {"TAG-SET=Y", 0},
      {"TAG-SET=YES .. a note", 1}, {"TAG-SET=YES..", 0},    {"TAG-SET", 0},
      {"=YES", 0},                {"   .TAG-SET=YES", 0},    {"  TAG-SET=YES  ", 1},
      {"TAG-SET=YES=1", 0},       {"\tTAG-SET=YES", 0},
  };
  for (const auto& c : cases) {
    FakeHost host;
    host.files[kIni] = crlf({c.line});
    EXPECT_EQ(get_option(host, kFiles).TAG_SET, c.tag) << c.line;
  }
}

TEST(GetOption, LastLineWinsAndEndMarkerStops) {
  FakeHost host;
  host.files[kIni] = crlf({"CRLF-SET=YES", "CRLF-SET=NO", "TAG-SET=YES", "@ end", "DRIVE-CHG-SET=YES",
                           "DRIVE-CHG=,bad row ignored"});
  const auto loaded = get_option(host, kFiles);
  EXPECT_EQ(loaded.CRLF_SET, 0);
  EXPECT_EQ(loaded.TAG_SET, 1);
  EXPECT_EQ(loaded.DRIVE_CHG_SET, 0);
  EXPECT_EQ(loaded.drive_table.DRIVE_CHG_cnt, 0);
  // Lines behind the marker are still carried into the backup.
  EXPECT_EQ(host.content(kBak), host.content(kIni));
}

TEST(GetOption, DriveRowsKeepTheirSpacesAndCase) {
  FakeHost host;
  host.files[kIni] = crlf({"drive-chg = x , \\\\srv\\", "DRIVE-CHG=Y,\\\\srv\\a,b", "x.y=1"});
  const auto loaded = get_option(host, kFiles);
  ASSERT_EQ(loaded.drive_table.DRIVE_CHG_cnt, 2);
  EXPECT_EQ(loaded.drive_table.DRIVE_letter[0], u"x ");
  EXPECT_EQ(loaded.drive_table.DRIVE_realpath[0], u" \\\\srv\\");
  EXPECT_EQ(loaded.drive_table.DRIVE_letter[1], u"Y");
  EXPECT_EQ(loaded.drive_table.DRIVE_realpath[1], u"\\\\srv\\a");
}

TEST(GetOption, FiftyRowsLoadAndTheFiftyFirstStops) {
  std::vector<std::string> lines(50, "DRIVE-CHG=X,\\\\srv\\");
  {
    FakeHost host;
    host.files[kIni] = join_lines(lines);
    EXPECT_EQ(get_option(host, kFiles).drive_table.DRIVE_CHG_cnt, 50);
    EXPECT_TRUE(host.messages.empty());
  }
  lines.emplace_back("TAG-SET=YES");
  lines.emplace_back("DRIVE-CHG=Y,\\\\other\\");
  lines.emplace_back("after");
  FakeHost host;
  host.files[kIni] = join_lines(lines);
  const std::string before = host.content(kIni);
  try {
    get_option(host, kFiles);
    FAIL() << "a 51st row must end the program";
  } catch (const ProgramEnded& ended) {
    EXPECT_EQ(ended.status, kSettingsErrorStatus);
  }
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], u"DRIVE-CHGパラメタオーバー　max=50");
  EXPECT_EQ(host.content(kIni), before);
  // The backup holds the lines up to and including the offending one.
  EXPECT_EQ(split_lines(host.content(kBak)).size(), 52u);
}

TEST(GetOption, EmptyLetterOrPathStops) {
  const std::pair<std::string, Text> cases[] = {
      {"DRIVE-CHG=,\\\\srv\\", u"DRIVE-CHG=,\\\\srv\\"},
      {"DRIVE-CHG=X,,\\\\srv\\", u"DRIVE-CHG=X,,\\\\srv\\"},
      {"DRIVE-CHG=", u"DRIVE-CHG="},
      {"  DRIVE-CHG=X  ", u"DRIVE-CHG=X"},
  };
  for (const auto& [line, shown] : cases) {
    FakeHost host;
    host.files[kIni] = crlf({"TAG-SET=YES", line});
    EXPECT_THROW(get_option(host, kFiles), ProgramEnded) << line;
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], u"DRIVE-CHGパラメタ指定誤り" + shown);
    EXPECT_EQ(host.writes, std::vector<Text>{kBak});
  }
}

TEST(GetOption, UnreadableFileLeavesBackupAlone) {
  FakeHost host;
  host.files[kIni] = "TAG-SET=YES\r\n";
  host.files[kBak] = "old backup\r\n";
  host.unreadable.insert(kIni);
  EXPECT_THROW(get_option(host, kFiles), FileError);
  EXPECT_EQ(host.content(kBak), "old backup\r\n");
}

// Loads, then writes back with the given check-box states.
std::string round_trip(const std::string& content, const OptionStates& checks, LoadedOptions* loaded = nullptr) {
  FakeHost host;
  host.files[kIni] = content;
  const auto options = get_option(host, kFiles);
  if (loaded != nullptr) {
    *loaded = options;
  }
  WRITE_back_option(host, kFiles, checks);
  return host.content(kIni);
}

TEST(WriteBackOption, DefaultFileComesBackIdentical) {
  EXPECT_EQ(round_trip(default_file(), OptionStates{1, 1, 1}), default_file());
}

TEST(WriteBackOption, OnlyTheChangedOptionLineChanges) {
  const std::string written = round_trip(default_file(), OptionStates{1, 0, 1});
  auto want = split_lines(default_file());
  want[4] = "TAG-SET=NO";
  EXPECT_EQ(written, join_lines(want));
}

TEST(WriteBackOption, ReplacesOptionLinesWhateverTheirSpelling) {
  const std::string written =
      round_trip(crlf({"  crlf-set = yes  ", "CRLF-SET=YES .. note", " keep me ", "DRIVE-CHG=X,\\\\a\\ ",
                       "other=1", ".TAG-SET=YES", "tag-set=no", "drive-chg-set=whatever"}),
                 OptionStates{0, 1, 1});
  EXPECT_EQ(written, crlf({"CRLF-SET=YES", "CRLF-SET=YES", " keep me ", "DRIVE-CHG=X,\\\\a\\ ", "other=1",
                           ".TAG-SET=YES", "TAG-SET=YES", "DRIVE-CHG-SET=NO"}));
}

TEST(WriteBackOption, AppendsMissingInFixedOrder) {
  EXPECT_EQ(round_trip(crlf({"; comment", ".TAG-SET=YES"}), OptionStates{1, 0, 1}),
            crlf({"; comment", ".TAG-SET=YES", "TAG-SET=NO", "CRLF-SET=YES", "DRIVE-CHG-SET=YES"}));
  EXPECT_EQ(round_trip("", OptionStates{0, 0, 0}), crlf({"TAG-SET=NO", "CRLF-SET=NO", "DRIVE-CHG-SET=NO"}));
  EXPECT_EQ(round_trip(crlf({"CRLF-SET=YES"}), OptionStates{2, 1, 1}),
            crlf({"CRLF-SET=YES", "TAG-SET=YES", "DRIVE-CHG-SET=NO"}));
}

TEST(WriteBackOption, EndMarkerKeepsTheRestVerbatimAndTakesMissingLinesBeforeIt) {
  const std::string original =
      crlf({"CRLF-SET=NO", "@ end", "TAG-SET=YES", "tag-set = no", "\xff\xfe raw bytes"});
  LoadedOptions loaded;
  const std::string written = round_trip(original, OptionStates{1, 1, 1}, &loaded);
  EXPECT_EQ(written, crlf({"CRLF-SET=YES", "TAG-SET=YES", "DRIVE-CHG-SET=YES", "@ end", "TAG-SET=YES",
                           "tag-set = no", "\xff\xfe raw bytes"}));
  // The next start reads what was written.
  LoadedOptions again;
  round_trip(written, OptionStates{1, 1, 1}, &again);
  EXPECT_EQ(again.TAG_SET, 1);
  EXPECT_EQ(again.CRLF_SET, 1);
  EXPECT_EQ(again.DRIVE_CHG_SET, 1);
}

TEST(WriteBackOption, LegacyBytesAndLineEndsSurvive) {
  // A Shift_JIS comment ("設定") and invalid UTF-8, with LF and lone CR line ends.
  const std::string sjis = "\x90\xdd\x92\xe8 comment";
  const std::string original = ". " + sjis + "\nTAG-SET=YES\rDRIVE-CHG=X,\\\\" + sjis + "\\\n\xc3(bad\n";
  const std::string written = round_trip(original, OptionStates{0, 1, 0});
  EXPECT_EQ(written, crlf({". " + sjis, "TAG-SET=YES", "DRIVE-CHG=X,\\\\" + sjis + "\\", "\xc3(bad",
                           "CRLF-SET=NO", "DRIVE-CHG-SET=NO"}));
  // A second round trip changes nothing.
  EXPECT_EQ(round_trip(written, OptionStates{0, 1, 0}), written);
}

TEST(WriteBackOption, ByteOrderMarkIsIgnoredForMeaningAndKept) {
  const std::string bom = "\xEF\xBB\xBF";
  LoadedOptions loaded;
  EXPECT_EQ(round_trip(bom + crlf({"tag-set=YES", "x"}), OptionStates{0, 0, 0}, &loaded),
            bom + crlf({"TAG-SET=NO", "x", "CRLF-SET=NO", "DRIVE-CHG-SET=NO"}));
  EXPECT_EQ(loaded.TAG_SET, 1);
  EXPECT_EQ(round_trip(bom + crlf({"@", "x"}), OptionStates{0, 0, 0}),
            bom + crlf({"TAG-SET=NO", "CRLF-SET=NO", "DRIVE-CHG-SET=NO", "@", "x"}));
}

TEST(WriteBackOption, FailuresLeaveTheSettingsFileAsItWas) {
  FakeHost host;
  host.files[kIni] = default_file();
  get_option(host, kFiles);
  host.files.erase(kBak);
  EXPECT_THROW(WRITE_back_option(host, kFiles, OptionStates{}), FileError);
  EXPECT_EQ(host.content(kIni), default_file());

  host.files[kBak] = default_file();
  host.unwritable.insert(kIni);
  EXPECT_THROW(WRITE_back_option(host, kFiles, OptionStates{}), FileError);
  EXPECT_EQ(host.content(kIni), default_file());
}

TEST(WriteBackOption, WorksFromTheBackupNotTheCurrentFile) {
  FakeHost host;
  host.files[kIni] = crlf({"TAG-SET=YES", "mine"});
  get_option(host, kFiles);
  host.files[kIni] = "edited by another program\r\n";
  WRITE_back_option(host, kFiles, OptionStates{0, 1, 0});
  EXPECT_EQ(host.content(kIni), crlf({"TAG-SET=YES", "mine", "CRLF-SET=NO", "DRIVE-CHG-SET=NO"}));
}

TEST(SplitLines, EveryLineEndCounts) {
  EXPECT_EQ(split_lines(""), std::vector<std::string>{});
  EXPECT_EQ(split_lines("a"), std::vector<std::string>{"a"});
  EXPECT_EQ(split_lines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(split_lines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(split_lines("\n\r"), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(split_lines(std::string("a\0b\n", 4)), std::vector<std::string>{std::string("a\0b", 3)});
}

}  // namespace
}  // namespace kestrova
