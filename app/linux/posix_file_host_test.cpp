#include "app/linux/posix_file_host.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

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
