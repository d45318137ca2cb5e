// The Linux front end's ground: the settings folder, the windowing
// platform, the files through POSIX, the system's network mounts and the
// process that shows a box or the window.
#include "app/linux/qt/platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/linux/network_mounts.h"
#include "app/linux/posix_file_host.h"
#include "clip/clip.h"
#include "tests/fixed_sources.h"

namespace kestrova::platform {
namespace {

namespace fs = std::filesystem;

TEST(SettingsFolder, TheWritableProgramFolderOrElseThePerUserOne) {
  QTemporaryDir config;
  EXPECT_EQ(settings_folder(config.path()), QDir(config.path()).absolutePath());
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  // A folder that does not exist stands for one that cannot be written:
  // root, who runs the tests, may write anywhere.
  const QString folder = settings_folder(config.filePath(QStringLiteral("missing")));
  qunsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(folder, QDir(config.path()).filePath(QStringLiteral("kestrova")));
  EXPECT_TRUE(QDir(folder).exists());
}

TEST(WindowingPlatform, PrefersXWaylandOnlyWhenOffered) {
  struct Case { const char *wayland, *display, *preset, *want; };  // nullptr: unset
  const Case cases[] = {
      {"wayland-0", ":0", nullptr, "xcb"},
      {"wayland-0", nullptr, nullptr, nullptr},
      {nullptr, ":0", nullptr, nullptr},
      {"wayland-0", ":0", "wayland", "wayland"},
  };
  for (const auto& c : cases) {
    for (const auto& [name, value] : {std::pair{"WAYLAND_DISPLAY", c.wayland}, std::pair{"DISPLAY", c.display},
                                      std::pair{"QT_QPA_PLATFORM", c.preset}}) {
      value != nullptr ? qputenv(name, value) : qunsetenv(name);
    }
    choose_windowing_platform();
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), QByteArray(c.want));  // unset reads as empty
  }
}

TEST(NetworkMounts, AreReadFromTheFileAtEveryAsk) {
  QTemporaryDir dir;
  const std::string mountinfo = dir.filePath(QStringLiteral("mountinfo")).toStdString();
  const ProcNetworkMounts mounts(mountinfo);
  EXPECT_TRUE(mounts.network_mounts().empty());  // no file: nothing known, nothing thrown
  std::ofstream(mountinfo) << "135 22 0:59 / /mnt/Team\\040Share rw shared:470 - cifs //nas/Team\\040Share"
                              " rw\n";
  EXPECT_EQ(DRIVE_CHG_edit(testing::table_of({{u"*", u"*"}}), u"/mnt/Team Share/a.txt", &mounts),
            u"\\\\nas\\Team Share\\a.txt");
}

// The process a caller waits on ends within a bounded time whatever becomes
// of the worker, with a status that says what happened; the worker is not
// left behind. Here the test adopts what its starts leave, to see that.
TEST(ClipboardKeeper, TheStartEndsWhateverBecomesOfTheWorker) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  enum Worker { finishes, never_up, killed_beside_a_child };
  const struct {
    Worker worker;
    int status;
  } cases[] = {{finishes, 4}, {never_up, 1}, {killed_beside_a_child, 128 + SIGKILL}};
  for (const auto& c : cases) {
    const auto started = std::chrono::steady_clock::now();
    const pid_t start = fork();
    if (start == 0) {
      ClipboardKeeper keeper = ClipboardKeeper::start(std::chrono::milliseconds(300));
      if (c.worker == finishes) {
        keeper.up();
        keeper.finish(4);
      } else if (c.worker == killed_beside_a_child) {
        keeper.up();
        if (fork() == 0) {  // holds the pipe a while, as a process the worker started may
          sleep(3);
          _exit(0);
        }
        raise(SIGKILL);
      }
      pause();  // never up
      _exit(0);
    }
    int how = 0;
    ASSERT_EQ(waitpid(start, &how, 0), start);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << c.worker;
    EXPECT_TRUE(WIFEXITED(how) && WEXITSTATUS(how) == c.status) << c.worker << ": " << how;
    // Nothing of the start still runs, but the worker's own child.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG) == 0, c.worker == killed_beside_a_child) << c.worker;
    while (waitpid(-1, nullptr, 0) > 0) {  // that child, within its 3 s
    }
  }
  prctl(PR_SET_CHILD_SUBREAPER, 0);
}


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
// exactly named and made as ours, stay with their bytes: a folder, a second
// name of a file, another file's. Beside a settings file linked from a
// dotfiles folder, only ours go there too. (The user's own files and near
// misses of the name beside each kind of start: many_starts_test.)
TEST_F(PosixFileHostTest, OnlyTemporaryFilesOfAKilledStartGo) {
  Host host(folder_);
  fs::create_directory(folder_ + "/dotfiles");
  std::ofstream(folder_ + "/dotfiles/linked.ini") << "a\r\n";
  fs::create_symlink(folder_ + "/dotfiles/linked.ini", folder_ + "/linked.ini");
  std::ofstream(folder_ + "/kestrova.ini") << "a\r\n";
  const char* const ours[] = {"kestrova.ini.kestrova-temp-AbC123", "kestrova.BAK.kestrova-temp-Xy7890",
                              "dotfiles/linked.ini.kestrova-temp-Zz0000", "kestrova.ini.kestrova-temp-held01"};
  const char* const theirs[] = {"kestrova.ini.backup", "dotfiles/linked.ini.backup",
                                "kestrova.inx.kestrova-temp-AbC123"};
  for (const char* name : ours) {
    std::ofstream(folder_ + "/" + name) << "x";
  }
  for (const char* name : theirs) {
    std::ofstream(folder_ + "/" + name) << name;
  }
  fs::create_directory(folder_ + "/kestrova.ini.kestrova-temp-folder");
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
}  // namespace kestrova::platform
