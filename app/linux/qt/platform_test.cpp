#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/linux/network_mounts.h"
#include "app/linux/qt/platform.h"
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
    if (c.want == nullptr) {
      EXPECT_FALSE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));
    } else {
      EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), QByteArray(c.want));
    }
  }
}

TEST(NetworkMounts, AreReadFromTheFileAtEveryAsk) {
  QTemporaryDir dir;
  const std::string mountinfo = dir.filePath(QStringLiteral("mountinfo")).toStdString();
  const ProcNetworkMounts mounts(mountinfo);
  EXPECT_TRUE(mounts.network_mounts().empty());  // no file: nothing known, nothing thrown
  QFile file(QString::fromStdString(mountinfo));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("135 22 0:59 / /mnt/Team\\040Share rw shared:470 - cifs //nas/Team\\040Share rw\n");
  file.close();
  EXPECT_EQ(DRIVE_CHG_edit(testing::table_of({{u"*", u"*"}}), u"/mnt/Team Share/a.txt", &mounts),
            u"\\\\nas\\Team Share\\a.txt");
}

}  // namespace
}  // namespace kestrova::platform
