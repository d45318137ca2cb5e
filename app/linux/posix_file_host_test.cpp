#include "app/linux/posix_file_host.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace kestrova {
namespace {

namespace fs = std::filesystem;

class Host : public PosixFileHost {
 public:
  using PosixFileHost::PosixFileHost;
  void show_message(const Text&) override { ADD_FAILURE() << "no message expected"; }
};

class PosixFileHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/kestrova-posix-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string bytes(const std::string& name) const {
    std::ifstream file(folder_ + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }
  std::size_t files() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {}));
  }

  std::string folder_;
};

TEST_F(PosixFileHostTest, WritesReadsAndLeavesAnUnchangedFileAlone) {
  Host host(folder_);
  host.write_lines(u"kestrova.ini", {"a", "b"});
  EXPECT_EQ(bytes("kestrova.ini"), "a\r\nb\r\n");
  EXPECT_EQ(host.read_lines(u"kestrova.ini"), (std::vector<std::string>{"a", "b"}));
  struct stat before {};
  ASSERT_EQ(stat((folder_ + "/kestrova.ini").c_str(), &before), 0);
  host.write_lines(u"kestrova.ini", {"a", "b"});
  struct stat after {};
  ASSERT_EQ(stat((folder_ + "/kestrova.ini").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // not replaced
  host.write_lines(u"kestrova.ini", {"a"});
  EXPECT_EQ(bytes("kestrova.ini"), "a\r\n");
  EXPECT_EQ(files(), 1u);
}

// What a killed start left beside the file goes with the next read or write
// of it; a temporary file whose writer still holds it, and anything not
// named as ours, stay.
TEST_F(PosixFileHostTest, TemporaryFilesOfAKilledStartGo) {
  Host host(folder_);
  host.write_lines(u"kestrova.ini", {"a"});
  for (const char* name : {"kestrova.ini.AbC123", "kestrova.ini.held01", "kestrova.ini.toolong", "kestrova.ini.ab-123",
                           "kestrova.BAK.Xy7890", "other.ini.AbC123"}) {
    std::ofstream(folder_ + "/" + name) << "x";
  }
  fs::create_directory(folder_ + "/kestrova.ini.folder");
  const int held = open((folder_ + "/kestrova.ini.held01").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  host.read_lines(u"kestrova.ini");
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder_)) {
    left.insert(entry.path().filename().string());
  }
  EXPECT_EQ(left, (std::set<std::string>{"kestrova.ini", "kestrova.ini.held01", "kestrova.ini.toolong",
                                         "kestrova.ini.ab-123", "kestrova.BAK.Xy7890", "other.ini.AbC123",
                                         "kestrova.ini.folder"}));
  close(held);
  host.write_lines(u"kestrova.BAK", {"a"});
  host.write_lines(u"kestrova.ini", {"b"});
  EXPECT_FALSE(fs::exists(folder_ + "/kestrova.ini.held01"));
  EXPECT_FALSE(fs::exists(folder_ + "/kestrova.BAK.Xy7890"));
}

TEST_F(PosixFileHostTest, FailuresNameTheFileAndLeaveNothingBehind) {
  Host host(folder_);
  fs::create_directory(folder_ + "/dir.ini");
  const auto fails = [&](const auto& call, const std::string& want) {
    try {
      call();
      ADD_FAILURE() << "no failure for " << want;
    } catch (const FileError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(want, 0), 0u) << error.what();
    }
  };
  // A folder where the file should be: the rename over it fails.
  fails([&] { host.write_lines(u"dir.ini", {"x"}); }, "cannot write " + folder_ + "/dir.ini: ");
  fails([&] { host.write_lines(u"no/kestrova.ini", {"x"}); },
        "cannot write " + folder_ + "/no/kestrova.ini: ");
  fails([&] { host.read_lines(u"missing.ini"); }, "cannot read " + folder_ + "/missing.ini: ");
  fails([&] { host.read_lines(u"dir.ini"); }, "cannot read " + folder_ + "/dir.ini: ");
  EXPECT_TRUE(fs::is_directory(folder_ + "/dir.ini"));
  EXPECT_EQ(files(), 1u);  // no temporary file left
  EXPECT_FALSE(host.file_exists(u"dir.ini"));
  EXPECT_FALSE(host.file_exists(u"missing.ini"));
  // A path from the command line: folders count, relative ones never do.
  EXPECT_TRUE(host.path_exists(from_utf8(folder_ + "/dir.ini")));
  EXPECT_FALSE(host.path_exists(u"dir.ini"));
  EXPECT_FALSE(host.path_exists(from_utf8(folder_ + "/missing.ini")));
  // Asked by the bytes the folder lists: an undecodable name, a link whose
  // target is gone.
  const std::string latin1 = folder_ + "/caf\xE9.txt";
  std::ofstream(latin1).close();
  fs::create_symlink(folder_ + "/gone", folder_ + "/dangling");
  EXPECT_TRUE(host.path_exists(from_utf8(latin1)));
  EXPECT_TRUE(host.path_exists(from_utf8(folder_ + "/dangling")));
  EXPECT_FALSE(host.path_exists(from_utf8(folder_ + "/caf\xC3\xA9.txt")));
}

TEST(CleanPath, WorksOutDotsAndSlashes) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/./b//c/", "/a/b/c"},
      {"/a/../../b", "/b"},
      {"a/../../b", "../b"},
      {"/", "/"},
      {"", "."},
      {"./", "."},
  };
  for (const auto& [in, want] : cases) {
    EXPECT_EQ(clean_path(in), want) << in;
  }
}

}  // namespace
}  // namespace kestrova
