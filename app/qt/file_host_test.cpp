#include "app/qt/file_host.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "settings/settings.h"

namespace kestrova {
namespace {

class FileHostTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString path(const QString& name) const { return dir_.filePath(name); }

  void put(const QString& name, const QByteArray& bytes) {
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  QByteArray get(const QString& name) const {
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }

  QTemporaryDir dir_;
};

// No message boxes in this test: the file side alone.
class Host : public FileHost {
 public:
  using FileHost::FileHost;
  void show_message(const Text&) override { ADD_FAILURE() << "no message expected"; }
  void end_program(int status) override { throw ProgramEnded(status); }
};

TEST_F(FileHostTest, SettingsRoundTripOnRealFiles) {
  Host host(dir_.path());
  const SettingsFiles files = FIND_option_file(host);
  MAKE_default_option(host, files);
  const QByteArray created = get("kestrova.ini");
  EXPECT_TRUE(created.startsWith(". \xe4\xbb\xa5"));  // the Japanese comment, in UTF-8
  EXPECT_TRUE(created.endsWith("TAG-SET=YES\r\n"));

  const LoadedOptions loaded = get_option(host, files);
  EXPECT_EQ(loaded.TAG_SET, 1);
  EXPECT_EQ(get("kestrova.BAK"), created);
  WRITE_back_option(host, files, OptionStates{1, 1, 1});
  EXPECT_EQ(get("kestrova.ini"), created);
  // Nothing is left behind by the atomic writes.
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files).size(), 2);
}

TEST_F(FileHostTest, RedirectFolderIsJoinedWithSlash) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir("conf"));
  put("ini.ini", "  conf  \r\n");
  Host host(dir_.path());
  const SettingsFiles files = FIND_option_file(host);
  EXPECT_EQ(files.File_name_info, u"conf/kestrova.ini");
  MAKE_default_option(host, files);
  EXPECT_TRUE(QFile::exists(path("conf/kestrova.ini")));
  EXPECT_FALSE(host.file_exists(u"conf"));  // a folder is no ordinary file
  // A path from the command line: folders count, relative ones never do.
  EXPECT_TRUE(host.path_exists(to_text(path("conf"))));
  EXPECT_FALSE(host.path_exists(u"conf"));
  EXPECT_FALSE(host.path_exists(to_text(path("gone"))));
}

TEST(QtText, ConvertsBothWays) {
  const Text text = u"C:\\日本\U0001F600";
  EXPECT_EQ(to_text(to_qstring(text)), text);
  EXPECT_EQ(to_qstring(text).size(), static_cast<qsizetype>(text.size()));
}

}  // namespace
}  // namespace kestrova
