// The settings through the real file host: created, loaded and rewritten
// on disk, atomically, in a redirect folder joined with "/".
#include "app/qt/file_host.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "settings/settings.h"
#include "tests/fixed_sources.h"

namespace kestrova {
namespace {

class Host : public FileHost {
 public:
  using FileHost::FileHost;
  void show_message(const Text&) override { ADD_FAILURE() << "no message expected"; }
};

QByteArray bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(FileHost, SettingsRoundTripOnRealFilesInTheRedirectFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("conf"));
  QFile redirect(dir.filePath("ini.ini"));
  ASSERT_TRUE(redirect.open(QIODevice::WriteOnly) && redirect.write("  conf  \r\n") > 0);
  redirect.close();
  Host host(dir.path());
  const SettingsFiles files = FIND_option_file(host);
  MAKE_default_option(host, files);
  const QByteArray created = bytes(dir.filePath("conf/kestrova.ini"));
  EXPECT_TRUE(created.startsWith(". \xe4\xbb\xa5"));  // the Japanese comment, in UTF-8
  EXPECT_EQ(get_option(host, files).TAG_SET, 1);
  EXPECT_EQ(bytes(dir.filePath("conf/kestrova.BAK")), created);
  WRITE_back_option(host, files, testing::OptionStates{1, 1, 1});
  EXPECT_EQ(bytes(dir.filePath("conf/kestrova.ini")), created);
  EXPECT_EQ(QDir(dir.filePath("conf")).entryList(QDir::Files).size(), 2) << "a temporary file stayed behind";
  EXPECT_FALSE(host.file_exists(u"conf"));  // a folder is no ordinary file
  // A path from the command line: folders count, relative ones never do.
  EXPECT_TRUE(host.path_exists(to_text(dir.filePath("conf"))));
  EXPECT_FALSE(host.path_exists(u"conf"));
  EXPECT_FALSE(host.path_exists(to_text(dir.filePath("gone"))));
}

}  // namespace
}  // namespace kestrova
