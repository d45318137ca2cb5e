#include "app/linux/qt/platform.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include "app/linux/network_mounts.h"
#include "clip/clip.h"
#include "tests/fixed_sources.h"

namespace kestrova::platform {
namespace {

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

}  // namespace
}  // namespace kestrova::platform
