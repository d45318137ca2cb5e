// The Windows file host against real files, what the program learns at
// start, and the network drives. Runs under Wine; the code-page cases need
// the Japanese locale (GetACP() 932), which the test entry sets up.
#include "app/win32/file_host.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/win32/handle.h"
#include "app/win32/network_drives.h"
#include "app/win32/start.h"
#include "app/win32/text.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using win32::wide;

class TestHost final : public Win32FileHost {
 public:
  using Win32FileHost::Win32FileHost;
  void show_message(const Text&) override { ADD_FAILURE() << "no message expected"; }
};

class Win32FileHostTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::remove_all(folder); fs::create_directory(folder); }
  void TearDown() override { fs::remove_all(folder); }
  Text name(const char* file) const { return (folder / file).u16string(); }
  std::string bytes(const char* file) const {
    std::ifstream in(folder / file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::ptrdiff_t files_in_folder() const { return std::distance(fs::directory_iterator(folder), {}); }

  const fs::path folder = fs::temp_directory_path() / ("kestrova-test-" + std::to_string(GetCurrentProcessId()));
};

// The message starts with what failed and the full name, and goes on with
// the system's reason.
void expect_failure(const std::function<void()>& action, const std::string& prefix) {
  try {
    action();
    ADD_FAILURE() << "no FileError for " << prefix;
  } catch (const FileError& error) {
    const std::string message = error.what();
    EXPECT_TRUE(message.starts_with(prefix + ": ") && message.size() > prefix.size() + 4) << message;
  }
}

TEST_F(Win32FileHostTest, ReplacesWholeFilesAndNamesEveryFailure) {
  // A writable program folder holds the settings.
  EXPECT_EQ(win32::settings_folder(folder.u16string()), folder.u16string());
  TestHost host(folder.u16string());
  EXPECT_EQ(host.resolve(u"sub\\..\\x.ini"), name("x.ini"));
  host.write_lines(u"kestrova.ini", {"a", "", "b"});
  EXPECT_EQ(host.read_lines(u"kestrova.ini"), (std::vector<std::string>{"a", "", "b"}));
  host.write_lines(u"kestrova.ini", {"c"});
  EXPECT_EQ(bytes("kestrova.ini"), "c\r\n");
  EXPECT_EQ(files_in_folder(), 1) << "a temporary file or the writability probe stayed behind";
  EXPECT_TRUE(host.file_exists(u"kestrova.ini"));
  fs::create_directory(folder / "dir.ini");
  // Anything but a file is refused as a settings path: a folder, a device.
  EXPECT_THROW((void)host.file_exists(u"dir.ini"), NotAFileError);
  EXPECT_THROW(host.read_lines(u"dir.ini"), NotAFileError);
  EXPECT_THROW(host.write_lines(u"dir.ini", {"x"}), NotAFileError);
  EXPECT_THROW(host.read_lines(u"\\\\.\\NUL"), NotAFileError);
  EXPECT_FALSE(host.file_exists(u"missing.ini"));
  // A path from the command line: folders count, relative ones never do.
  EXPECT_TRUE(host.path_exists(name("dir.ini")));
  EXPECT_FALSE(host.path_exists(u"."));
  EXPECT_FALSE(host.path_exists(name("missing.ini")));

  const std::string full = to_utf8(name("kestrova.ini"));
  expect_failure([&] { host.read_lines(u"missing.ini"); }, "cannot read " + to_utf8(name("missing.ini")));
  expect_failure([&] { host.write_lines(u"no\\kestrova.ini", {"x"}); },
                 "cannot write " + to_utf8(name("no\\kestrova.ini")));
  {
    // Another program holds the file open without sharing deletion: the
    // replace fails, and the old content and nothing else is left.
    const win32::Handle held(CreateFileW(wide(name("kestrova.ini")), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    expect_failure([&] { host.write_lines(u"kestrova.ini", {"new"}); }, "cannot write " + full);
  }
  EXPECT_EQ(bytes("kestrova.ini"), "c\r\n");
  EXPECT_EQ(files_in_folder(), 2);  // the file and dir.ini
}

TEST(Win32Start, CommandLineTailKeepsQuotesOfTheArgument) {
  const std::pair<Text, Text> cases[] = {
      {u"\"C:\\Program Files\\Kestrova\\kestrova.exe\" \"C:\\my dir\\a.txt\"", u"\"C:\\my dir\\a.txt\""},
      {u"kestrova.exe C:\\a.txt", u"C:\\a.txt"},
      {u"kestrova \t $FILENAME$ \"C:\\d\\f.txt\" ", u"$FILENAME$ \"C:\\d\\f.txt\" "},
      {u"\"C:\\k.exe\"\"x\"", u"\"x\""},
      {u"kestrova.exe", u""},
      {u"\"C:\\unclosed a b", u""},
  };
  for (const auto& [line, tail] : cases) {
    EXPECT_EQ(win32::command_line_tail(line), tail) << to_utf8(line);
  }
  EXPECT_EQ(win32::executable_name(u"C:\\Program Files\\Kestrova\\Kestrova.EXE"), u"Kestrova");
  EXPECT_EQ(win32::executable_name(u"C:\\a.b\\kestrova-2.exe.bak"), u"kestrova-2.exe.bak");
  EXPECT_EQ(win32::folder_of(u"C:\\a b\\kestrova.exe"), u"C:\\a b");
}

// Text in the ANSI code page, 932 under the test's Japanese locale: "能"
// ends in byte 0x5C, a backslash in ASCII. The default file's bytes and a
// Shift_JIS comment through load and rewrite are the end-to-end test's.
TEST(Win32FileHost, TextIsInTheAnsiCodePage) {
  ASSERT_EQ(GetACP(), 932u) << "needs LANG=ja_JP.UTF-8 with the locale in LOCPATH";
  const TestHost host(u".");
  EXPECT_EQ(host.encode(u"可能\\\\"), "\x89\xc2\x94\\\\\\");
  EXPECT_EQ(host.decode("\\\\\x83\\\x81[\x83X\\"), u"\\\\ソース\\");
}

// Wine has no network drive to offer, so the drive list is given here; the
// real WNetGetConnectionW is asked only about the local drives it has.
TEST(NetworkDrives, DrivesWithARemotePathAreNetworkDrives) {
  // C: is local, X: a share, Y: a connection without a path.
  const auto connections = [](const Text& drive) {
    return drive == u"C:" ? std::nullopt : std::optional<Text>(drive == u"X:" ? u"\\\\srv\\share" : u"");
  };
  EXPECT_EQ(win32::network_drives((1u << 2) | (1u << 23) | (1u << 24), connections),
            (std::vector<NetworkMount>{{u"X:", u"\\\\srv\\share"}}));

  // The system's own answer: a remembered connection of a letter with no
  // device (a mapped drive not connected now) is a network drive.
  const wchar_t* const kRemembered = L"Network\\Q";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kRemembered, L"RemotePath", REG_SZ, L"\\\\srv\\away",
                            sizeof L"\\\\srv\\away"),
            ERROR_SUCCESS);
  const std::vector<NetworkMount> system = win32::NetworkDrives().network_mounts();
  RegDeleteTreeW(HKEY_CURRENT_USER, kRemembered);
  ASSERT_TRUE((GetLogicalDrives() & (1u << (u'Q' - u'A'))) == 0) << "Q: is a drive here";
  EXPECT_NE(std::ranges::find(system, NetworkMount{u"Q:", u"\\\\srv\\away"}), system.end());
}

// What Windows says of one drive, and the path it stands for.
TEST(NetworkDrives, DisconnectedMappedDrivesKeepTheirPath) {
  const std::optional<Text> remembered = u"\\\\srv\\remembered";
  const struct {
    const char* what;
    bool present;
    DWORD result;
    Text remote;
    std::optional<Text> remembered;
    std::optional<Text> path;
  } cases[] = {
      {"connected", true, NO_ERROR, u"\\\\srv\\share", remembered, u"\\\\srv\\share"},
      {"disconnected, named", true, ERROR_CONNECTION_UNAVAIL, u"\\\\srv\\share", remembered,
       u"\\\\srv\\share"},
      {"disconnected, unnamed", true, ERROR_CONNECTION_UNAVAIL, u"", remembered, remembered},
      {"remembered, no device", false, ERROR_NOT_CONNECTED, u"", remembered, remembered},
      {"local", true, ERROR_NOT_CONNECTED, u"", std::nullopt, std::nullopt},
      {"local, a stale memory", true, ERROR_NOT_CONNECTED, u"", remembered, std::nullopt},
      {"disconnected, nothing known", true, ERROR_CONNECTION_UNAVAIL, u"", u"", std::nullopt},
  };
  for (const auto& drive : cases) {
    EXPECT_EQ(win32::connection_path(drive.present, drive.result, drive.remote, drive.remembered), drive.path)
        << drive.what;
  }
}

}  // namespace
}  // namespace kestrova
