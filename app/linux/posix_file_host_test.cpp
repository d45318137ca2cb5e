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
  fs::create_hard_link(folder_ + "/kestrova.ini", folder_ + "/second name");
  host.write_lines(u"kestrova.ini", {"a", "b"});
  EXPECT_EQ(fs::hard_link_count(folder_ + "/kestrova.ini"), 2u);  // not replaced
  host.write_lines(u"kestrova.ini", {"a"});
  EXPECT_EQ(bytes("kestrova.ini"), "a\r\n");
  EXPECT_EQ(files(), 2u);
}

// What a killed start left beside the file goes with the next read or write
// of it; a temporary file whose writer still holds it, and anything not
// exactly named and made as ours, stay with their bytes: the user's own
// files, near misses of the name, a link (its target neither), a second
// name of a file. Beside a settings file linked from a dotfiles folder, only
// ours go there too.
TEST_F(PosixFileHostTest, OnlyTemporaryFilesOfAKilledStartGo) {
  Host host(folder_);
  fs::create_directory(folder_ + "/dotfiles");
  std::ofstream(folder_ + "/dotfiles/linked.ini") << "a\r\n";
  fs::create_symlink(folder_ + "/dotfiles/linked.ini", folder_ + "/linked.ini");
  std::ofstream(folder_ + "/kestrova.ini") << "a\r\n";
  const char* const ours[] = {"kestrova.ini.kestrova-temp-AbC123", "kestrova.BAK.kestrova-temp-Xy7890",
                              "dotfiles/linked.ini.kestrova-temp-Zz0000", "kestrova.ini.kestrova-temp-held01"};
  // Near misses, each a name of the right length where it can be: another
  // file's, too long or short, a letter that mkostemp never makes, another marker.
  const char* const theirs[] = {"kestrova.ini.backup", "notes.txt", "dotfiles/linked.ini.backup",
                                "kestrova.inx.kestrova-temp-AbC123", "kestrova.ini.kestrova-temp-toolong",
                                "kestrova.ini.kestrova-temp-AbC12", "kestrova.ini.kestrova-temp-ab-123",
                                "kestrova.ini.Kestrova-temp-AbC123"};
  for (const char* name : ours) {
    std::ofstream(folder_ + "/" + name) << "x";
  }
  for (const char* name : theirs) {
    std::ofstream(folder_ + "/" + name) << name;
  }
  fs::create_directory(folder_ + "/kestrova.ini.kestrova-temp-folder");
  fs::create_symlink(folder_ + "/notes.txt", folder_ + "/kestrova.ini.kestrova-temp-link01");
  fs::create_hard_link(folder_ + "/kestrova.ini.backup", folder_ + "/kestrova.ini.kestrova-temp-hard01");
  const int held = open((folder_ + "/kestrova.ini.kestrova-temp-held01").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  host.read_lines(u"kestrova.ini");
  host.write_lines(u"kestrova.BAK", {"b"});
  host.write_lines(u"linked.ini", {"c"});
  for (const char* name : ours) {
    EXPECT_EQ(fs::exists(folder_ + "/" + name), name == ours[3]) << name;
  }
  close(held);
  host.write_lines(u"kestrova.ini", {"c"});
  EXPECT_FALSE(fs::exists(folder_ + "/" + ours[3]));
  for (const char* name : theirs) {
    EXPECT_EQ(bytes(name), name) << name;
  }
  EXPECT_TRUE(fs::is_directory(folder_ + "/kestrova.ini.kestrova-temp-folder"));
  EXPECT_TRUE(fs::is_symlink(folder_ + "/kestrova.ini.kestrova-temp-link01"));
  EXPECT_EQ(bytes("kestrova.ini.kestrova-temp-hard01"), "kestrova.ini.backup");
  EXPECT_TRUE(fs::is_symlink(folder_ + "/linked.ini"));  // written through
  EXPECT_EQ(bytes("dotfiles/linked.ini"), "c\r\n");
}

TEST_F(PosixFileHostTest, FailuresNameTheFileAndLeaveNothingBehind) {
  Host host(folder_);
  fs::create_directory(folder_ + "/dir.ini");
  const auto fails = [&](const auto& call, const std::string& want, bool not_a_file = false) {
    try {
      call();
      ADD_FAILURE() << "no failure for " << want;
    } catch (const FileError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(want, 0), 0u) << error.what();
      EXPECT_EQ(dynamic_cast<const NotAFileError*>(&error) != nullptr, not_a_file) << error.what();
    }
  };
  fails([&] { host.write_lines(u"no/kestrova.ini", {"x"}); },
        "cannot write " + folder_ + "/no/kestrova.ini: ");
  fails([&] { host.read_lines(u"missing.ini"); }, "cannot read " + folder_ + "/missing.ini: ");
  // Anything but a file is refused before it is opened for real: a FIFO
  // would hold the start for good (and a test that fails here hangs).
  ASSERT_EQ(mkfifo((folder_ + "/fifo.ini").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", folder_ + "/device.ini");
  for (const std::string name : {"dir.ini", "fifo.ini", "device.ini"}) {
    const Text path = from_utf8(name);
    // Written through a link: the message names what the link leads to.
    const std::string target = name == "device.ini" ? "/dev/null" : folder_ + "/" + name;
    fails([&] { host.write_lines(path, {"x"}); }, "cannot write " + target + ": it is ", true);
    fails([&] { host.read_lines(path); }, "cannot read " + folder_ + "/" + name + ": it is ", true);
    fails([&] { (void)host.file_exists(path); }, "cannot read " + folder_ + "/" + name + ": it is ", true);
  }
  EXPECT_TRUE(fs::is_directory(folder_ + "/dir.ini"));
  EXPECT_TRUE(fs::is_fifo(folder_ + "/fifo.ini"));
  EXPECT_EQ(files(), 3u);  // no temporary file left
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
      {"/a/./b//c/", "/a/b/c"}, {"/a/../../b", "/b"}, {"a/../../b", "../b"}, {"/", "/"}, {"", "."}};
  for (const auto& [in, want] : cases) {
    EXPECT_EQ(clean_path(in), want) << in;
  }
}

}  // namespace
}  // namespace kestrova
