// Bad input against the real program under the offscreen platform: broken
// and hostile settings files, redirect files and folders, and sizes far past
// everyday use. Each row checks the message shown (naming the file and the
// reason), the exit status, and that no settings file was damaged.
// Rows that need a user whom file permissions stop are skipped when run as
// root; bad_input_test.sh runs them as nobody.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <random>

#include "app/qt/form_window.h"
#include "app/qt/network_mounts.h"
#include "clip/network_test_samples.h"
#include "app/qt/widget_test_support.h"
#include "app/qt/startup.h"

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace kestrova;
using kestrova::testing::MessageAnswerer;
using kestrova::testing::read_file;
using kestrova::testing::write_file;

namespace {

// Lines of random bytes with every value but the line ends and "@", which
// would end the settings and move the added option lines.
QByteArray garbage_lines() {
  std::mt19937 random(20240611);
  QByteArray out;
  for (int line = 0; line < 300; ++line) {
    for (auto n = random() % 120; n > 0; --n) {
      const char byte = static_cast<char>(random() % 256);
      out += byte == '\r' || byte == '\n' || byte == '@' ? '~' : byte;
    }
    out += "\r\n";
  }
  return out;
}

#ifdef _WIN32
bool is_root() { return false; }
#else
bool is_root() { return geteuid() == 0; }
#endif

constexpr char kAddedOptions[] = "TAG-SET=NO\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=NO\r\n";

// The program's window over a folder of its own holding `settings`.
struct Window {
  QTemporaryDir dir;
  AppHost host{dir.path()};
  FormWindow view;
  oledrag_form form{host, view, to_text(dir.path()), u"kestrova"};
  explicit Window(const QByteArray& settings) {
    write_file(dir.filePath("kestrova.ini"), settings);
    view.attach(&form);
  }
};

// A file or, named with a trailing "/", a folder that a test lays down
// before the program starts; "%1" in its bytes is the program's folder.
// Permissions, when given, are set once everything is in place.
struct Laid {
  QString name;
  QByteArray bytes;
  QFile::Permissions permissions = {};
};

// A start in command-line mode that must fail, leaving every file laid down
// as it was. "%1" in `message` is the program's folder.
struct FailedStart {
  QList<Laid> files;
  int status;
  QString message;
};

// A window-mode run, loaded and closed: `after` is the settings file then.
struct LoadAndClose {
  QByteArray settings;
  bool delete_backup;
  QByteArray after;
  QString message;
};

}  // namespace

Q_DECLARE_METATYPE(FailedStart)
Q_DECLARE_METATYPE(LoadAndClose)

class BadInputTest : public QObject {
  Q_OBJECT

 private slots:
  void failedStart_data() {
    QByteArray rows;
    for (int i = 0; i < 10000; ++i) {
      rows += "DRIVE-CHG=X,\\\\srv" + QByteArray::number(i) + "\\\r\n";
    }
    const QByteArray tag = "TAG-SET=YES\r\n";
    QTest::addColumn<FailedStart>("row");
    // clang-format off
    QTest::newRow("10000 drive rows") << FailedStart{{{"kestrova.ini", rows}}, 2,
        QString::fromUtf16(u"DRIVE-CHGパラメタオーバー　max=50")};
    QTest::newRow("redirect to a missing folder") << FailedStart{{{"kestrova.ini", tag}, {"ini.ini", "%1/missing"}},
        1, "cannot write %1/missing/kestrova.ini: No such file or directory"};
    QTest::newRow("redirect file with no line") << FailedStart{{{"kestrova.ini", tag}, {"ini.ini", ""}}, 1,
        "cannot read %1/ini.ini: the file is empty; its first line must name the settings folder"};
    // A file where a folder should be stops root too; permissions stop only
    // other users.
    QTest::newRow("redirect through a file") << FailedStart{{{"ini.ini", "%1/other"}, {"other", tag}}, 1,
        "cannot write %1/other/kestrova.ini: Not a directory"};
    QTest::newRow("settings file unreadable") << FailedStart{{{"kestrova.ini", tag, QFile::WriteOwner}}, 1,
        "cannot read %1/kestrova.ini: Permission denied"};
    QTest::newRow("settings folder unwritable") << FailedStart{{{"ini.ini", "%1/other"}, {"other/kestrova.ini", tag},
        {"other/", {}, QFile::ReadOwner | QFile::ExeOwner}}, 1, "cannot write %1/other/kestrova.BAK: Permission denied"};
    // clang-format on
  }

  void failedStart() {
    QFETCH(FailedStart, row);
    QTemporaryDir dir;
    const QString folder = dir.path();
    for (Laid& file : row.files) {
      if (file.permissions && is_root()) {
        QSKIP("root is never refused: bad_input_test.sh runs this row as nobody");
      }
      file.name = folder + "/" + file.name;
      file.bytes.replace("%1", folder.toUtf8());
      QVERIFY(QDir().mkpath(QFileInfo(file.name).path()));
      if (!file.name.endsWith('/')) {
        write_file(file.name, file.bytes);
      }
    }
    for (const Laid& file : row.files) {
      QVERIFY(!file.permissions || QFile::setPermissions(file.name, file.permissions));
    }
    MessageAnswerer answers;
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    QCOMPARE(run_program({QStringLiteral("/a")}, folder + "/kestrova"), row.status);
    QCOMPARE(answers.texts, QStringList(row.message.replace("%1", folder)));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    for (const Laid& file : row.files) {
      QFile::setPermissions(file.name, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      QVERIFY2(file.name.endsWith('/') || read_file(file.name) == file.bytes, qPrintable(file.name));
    }
    QVERIFY(!QFile::exists(folder + "/missing"));
  }

  void loadAndClose_data() {
    const QByteArray mb = "LONG=" + QByteArray(1 << 20, 'x') + " .. a note\r\n";
    // A NUL is an ordinary character: the line goes on behind it, and "YES"
    // followed by one is not YES.
    const QByteArray nul("a\0b=c\r\n\0\0\0\r\n", 12);
    QTest::addColumn<LoadAndClose>("row");
    // clang-format off
    QTest::newRow("1 MB line") << LoadAndClose{mb, false, mb + kAddedOptions, {}};
    QTest::newRow("NUL bytes") << LoadAndClose{nul + QByteArray("TAG-SET=YES\0\r\n", 14), false,
        nul + kAddedOptions, {}};
    QTest::newRow("binary garbage") << LoadAndClose{garbage_lines(), false, garbage_lines() + kAddedOptions, {}};
    QTest::newRow("backup deleted while running") << LoadAndClose{"TAG-SET=YES\r\n", true, "TAG-SET=YES\r\n",
        "cannot read %1/kestrova.BAK: No such file or directory"};
    // clang-format on
  }

  void loadAndClose() {
    QFETCH(LoadAndClose, row);
    Window window(row.settings);
    const QString backup = window.dir.filePath("kestrova.BAK");
    QCOMPARE(window.form.Form_Load({}), oledrag_form::Mode::Window);
    QCOMPARE(read_file(backup), row.settings);
    QVERIFY(!row.delete_backup || QFile::remove(backup));
    MessageAnswerer answers;
    window.view.close();
    QCOMPARE(window.form.status(), row.message.isEmpty() ? 0 : kPlatformFailureStatus);
    const QString message = row.message.replace("%1", window.dir.path());
    QCOMPARE(answers.texts, message.isEmpty() ? QStringList() : QStringList(message));
    QCOMPARE(read_file(window.dir.filePath("kestrova.ini")), row.after);
  }

  // Fifty rows of every kind, "*,*" last, and a mount table of 10,000 lines
  // read from its file at the copy: the path tries every row.
  void fiftyMixedRowsAndTenThousandMounts() {
    const DriveTable table = samples::fifty_mixed_rows();
    QByteArray settings;
    for (int row = 0; row < table.DRIVE_CHG_cnt; ++row) {
      settings += "DRIVE-CHG=" + to_qstring(table.DRIVE_letter[row]).toUtf8() + "," +
                  to_qstring(table.DRIVE_realpath[row]).toUtf8() + "\r\n";
    }
    settings += "TAG-SET=NO\r\nCRLF-SET=NO\r\nDRIVE-CHG-SET=YES\r\n";
    QTemporaryDir dir;
    write_file(dir.filePath("kestrova.ini"), settings);
    write_file(dir.filePath("mountinfo"), QByteArray::fromStdString(samples::many_mounts_mountinfo(10'000)));
    const ProcNetworkMounts mounts(dir.filePath("mountinfo").toStdString());
    AppHost host(dir.path());
    FormWindow view;
    oledrag_form form(host, view, to_text(dir.path()), u"kestrova", &mounts);
    MessageAnswerer answers;
    QCOMPARE(form.Form_Load(command_line_from_arguments({u"/mnt/share9999/a/b.txt"})), oledrag_form::Mode::CommandLine);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("\\\\nas\\share9999\\a\\b.txt"));
    QCOMPARE(read_file(dir.filePath("kestrova.ini")), settings);
  }

  void dropOf100000FilesIsCopiedWhole() {
    Window window("TAG-SET=NO\r\nCRLF-SET=YES\r\n");
    window.form.Form_Load({});
    QStringList paths;
    QList<QUrl> urls;
    for (int i = 0; i < 100000; ++i) {
      paths << QStringLiteral("/data/set %1/file-%2.bin").arg(i / 1000).arg(i);
      urls << QUrl::fromLocalFile(paths.last());
    }
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.view.List1->viewport(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.view.List1->viewport(), &drop);
    QCOMPARE(window.view.List1->count(), 100000);
    window.view.List1->selectAll();
    const QString copied = QGuiApplication::clipboard()->text();
    QCOMPARE(copied.count(QStringLiteral("\r\n")), 100000);
    QCOMPARE(copied, paths.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
  }
};

QTEST_MAIN(BadInputTest)
#include "bad_input_test.moc"
