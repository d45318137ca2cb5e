// Widget tests of the window under the offscreen platform. Message boxes are
// answered from a timer, and drops are sent to the list's viewport as real
// drag-and-drop events.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>

#include "app/qt/oledrag_form.h"
#include "app/qt/widget_test_support.h"

using namespace kestrova;
using kestrova::testing::MessageAnswerer;
using kestrova::testing::read_file;
using kestrova::testing::write_file;

class OledragFormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<AppHost> host_;
  std::unique_ptr<oledrag_form> form_;

  QString ini() const { return dir_->filePath(QStringLiteral("kestrova.ini")); }

  // A window over a fresh folder, optionally with a settings file of its own.
  oledrag_form& make_form(const QByteArray& settings = {}) {
    dir_ = std::make_unique<QTemporaryDir>();
    if (!settings.isNull()) {
      write_file(ini(), settings);
    }
    host_ = std::make_unique<AppHost>(dir_->path());
    form_ = std::make_unique<oledrag_form>(*host_, dir_->path(), QStringLiteral("kestrova"));
    return *form_;
  }

  void drop(QWidget* target, QMimeData* data) {
    const QPointF at(10, 10);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    QCOMPARE(dropped.dropAction(), Qt::CopyAction);
  }

  void drop_files(const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) {
      urls << QUrl::fromLocalFile(path);
    }
    data.setUrls(urls);
    drop(form_->List1->viewport(), &data);
  }

  QStringList entries() const {
    QStringList out;
    for (int i = 0; i < form_->List1->count(); ++i) {
      out << form_->List1->item(i)->text();
    }
    return out;
  }

 private slots:
  void resizeRuleWorksOnTheOuterSize() {
    auto& form = make_form();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QSize frame = form.frameGeometry().size() - form.size();
    form.resize(QSize(568, 356) - frame);  // outer size 8520 x 5340 twips
    QTRY_COMPARE(form.frameGeometry().size(), QSize(568, 356));
    QCOMPARE(form.list_width_twips(), 7668.0f);
    QCOMPARE(form.list_height_twips(), 3204.0f);
    QCOMPARE(form.List1->size(), QSize(511, 214));
    QCOMPARE(form.List1->pos(), QPoint(8, 80));
    const QPoint check_at = form.Check_TAG->pos();
    form.resize(QSize(1000, 300) - frame);
    QTRY_COMPARE(form.list_width_twips(), 13500.0f);
    QCOMPARE(form.list_height_twips(), 2700.0f);
    QCOMPARE(form.List1->pos(), QPoint(8, 80));
    QCOMPARE(form.Check_TAG->pos(), check_at);
  }

  void startUpComposesCaptionAndSetsCheckBoxes() {
    auto& form = make_form("TAG-SET=YES\r\nCRLF-SET=2\r\nDRIVE-CHG-SET=YES\r\n");
    QCOMPARE(form.windowTitle(), QStringLiteral("Kestrova"));
    QCOMPARE(form.Form_Load(QString()), oledrag_form::Mode::Window);
    QCOMPARE(form.windowTitle(), QStringLiteral("Kestrova  kestrova   Version:2.6.1"));
    QVERIFY(form.Check_TAG->isChecked());
    QVERIFY(!form.Check_CRLF->isChecked());
    QVERIFY(form.Check_drive->isChecked());
    QCOMPARE(QDir::currentPath(), QDir(dir_->path()).canonicalPath());
    QCOMPARE(form.menuBar()->actions().size(), 2);
    QCOMPARE(form.MENU_HELP->text(), QStringLiteral("HELP"));
    QCOMPARE(form.MENU_CLEAR->text(), QStringLiteral("CLEAR"));
    QCOMPARE(form.Check_TAG->text(), QString::fromUtf16(u"タグ<　>を前後につける"));
  }

  void dropsWriteFromTheTop() {
    auto& form = make_form();
    form.Form_Load(QString());
    form.Check_drive->setChecked(false);
    drop_files({"/a", "/b", "/c"});
    QCOMPARE(entries(), QStringList({"/a", "/b", "/c"}));
    drop_files({"/x"});
    QCOMPARE(entries(), QStringList({"/x", "/b", "/c"}));
    drop_files({"/1", "/2", "/3", "/4", "/5"});
    QCOMPARE(entries(), QStringList({"/1", "/2", "/3", "/4", "/5"}));
  }

  void dropsWithoutLocalFilesChangeNothing() {
    auto& form = make_form();
    form.Form_Load(QString());
    drop_files({"/keep"});
    MessageAnswerer answers;
    QMimeData text;
    text.setText(QStringLiteral("/just/text"));
    drop(form.List1->viewport(), &text);
    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("https://example.org/a.txt")), QUrl(QStringLiteral("file://server/share/f"))});
    drop(form.List1->viewport(), &remote);
    QCOMPARE(answers.texts, QStringList({QString::fromUtf16(u"無選択です"), QString::fromUtf16(u"無選択です")}));
    QCOMPARE(entries(), QStringList({"/keep"}));

    QMimeData localhost;
    localhost.setUrls({QUrl(QStringLiteral("file://localhost/tmp/a%20b.txt"))});
    drop(form.List1->viewport(), &localhost);
    QCOMPARE(entries(), QStringList({"/tmp/a b.txt"}));

    // Outside the list: nothing changes, nothing is shown.
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/elsewhere"))});
    drop(&form, &files);
    QCOMPARE(entries(), QStringList({"/tmp/a b.txt"}));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    QCOMPARE(answers.texts.size(), 2);
  }

  void selectionIsCopiedEdited() {
    // Local paths here start with "/", so the row's letter text is "/X".
    auto& form = make_form("DRIVE-CHG=/X,\\\\realpath\\\r\nTAG-SET=YES\r\n");
    form.Form_Load(QString());
    // A drop with mapping off keeps the drive prefix; the copy maps it.
    drop_files({"/X:\\docs\\a.txt", "/b.txt", "/c.txt"});
    QCOMPARE(entries().first(), QStringLiteral("/X:\\docs\\a.txt"));
    form.Check_drive->setChecked(true);
    form.List1->selectAll();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("<\\\\realpath\\docs\\a.txt>\r\n</b.txt>\r\n</c.txt>"));
    form.Check_TAG->setChecked(false);
    form.List1->clearSelection();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
    form.List1->item(1)->setSelected(true);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("/b.txt\r\n"));
    // A click that changes nothing still copies, with the options of now.
    form.Check_CRLF->setChecked(true);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QGuiApplication::clipboard()->setText(QStringLiteral("stale"));
    const QRect row = form.List1->visualItemRect(form.List1->item(1));
    QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("/b.txt\r\n"));
    // CLEAR empties the list and leaves the clipboard alone.
    form.MENU_CLEAR->trigger();
    QCOMPARE(form.List1->count(), 0);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("/b.txt\r\n"));
    // With mapping on, a drop maps at once.
    drop_files({"/X:\\docs\\a.txt"});
    QCOMPARE(entries(), QStringList({"\\\\realpath\\docs\\a.txt"}));
  }

  void helpShowsTheFiveLines() {
    auto& form = make_form();
    MessageAnswerer answers;
    form.MENU_HELP->trigger();
    QCOMPARE(answers.texts.size(), 1);
    const QStringList lines = answers.texts.first().split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 6);
    QVERIFY(lines.last().isEmpty());
    QVERIFY(lines[2].endsWith(QChar(0x3000)) && lines[4].endsWith(QChar(0x3000)));
    QVERIFY(lines[0].contains(QChar(0xFF06)));
  }

  void closingRewritesSettings() {
    auto& form = make_form();
    form.Form_Load(QString());
    QSignalSpy finished(&form, &oledrag_form::finished);
    form.Check_TAG->setChecked(false);
    form.close();
    QVERIFY(read_file(ini()).endsWith("CRLF-SET=YES\r\nTAG-SET=NO\r\n"));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), 0);
  }

  void commandLineCopiesAndNeverShowsTheWindow() {
    auto& form = make_form("CRLF-SET=YES\r\n");
    MessageAnswerer answers;
    QCOMPARE(form.Form_Load(QStringLiteral("\"/my dir/a.txt\"")), oledrag_form::Mode::CommandLine);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("/my dir/a.txt\r\n"));
    QCOMPARE(answers.texts, QStringList({QStringLiteral("CLIPBOAD COPIED=/my dir/a.txt\r\n")}));
    QVERIFY2(form.windowHandle() == nullptr, "the window never got a platform window, so was never shown");
    QCOMPARE(read_file(ini()), QByteArray("CRLF-SET=YES\r\nTAG-SET=NO\r\nDRIVE-CHG-SET=NO\r\n"));
  }

  void fileNameMarkerCopiesTheBareName() {
    struct Case {
      QString line, want;
    };
    const Case cases[] = {
        {"$FILENAME$ /home/u/report.final.txt", "report.final"},
        {"$FILENAME$ \"C:\\my dir\\a.txt\"", "a"},
        {"xyz$FILENAME$C:\\d\\f.txt", "f"},
        {"$FILENAME$a.txt", ""},
        {"$FILENAME$", ""},
    };
    for (const auto& c : cases) {
      auto& form = make_form();
      MessageAnswerer answers;
      form.Form_Load(c.line);
      QCOMPARE(QGuiApplication::clipboard()->text(), c.want);
      QVERIFY(answers.texts.isEmpty());
    }
    // Lower case is no marker: the whole line is copied, with the message.
    auto& form = make_form("TAG-SET=NO\r\nCRLF-SET=NO\r\n");
    MessageAnswerer answers;
    form.Form_Load(QStringLiteral("$filename$ a"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("$filename$ a"));
    QCOMPARE(answers.texts.size(), 1);
  }

  void settingsErrorEndsWithoutRewriting() {
    const QByteArray bad = "TAG-SET=YES\r\nDRIVE-CHG=X,\r\n";
    auto& form = make_form(bad);
    MessageAnswerer answers;
    try {
      form.Form_Load(QStringLiteral("/a"));
      QFAIL("a bad drive row must end the program");
    } catch (const ProgramEnded& ended) {
      QCOMPARE(ended.status, kSettingsErrorStatus);
    }
    QCOMPARE(answers.texts, QStringList({QString::fromUtf16(u"DRIVE-CHGパラメタ指定誤り") + "DRIVE-CHG=X,"}));
    QCOMPARE(read_file(ini()), bad);
  }

  void failureAtCloseIsReportedAndWritesNothing() {
    auto& form = make_form("TAG-SET=YES\r\n");
    form.Form_Load(QString());
    const QString backup = dir_->filePath(QStringLiteral("kestrova.BAK"));
    QVERIFY(QFile::remove(backup));
    QVERIFY(QDir().mkdir(backup));
    MessageAnswerer answers;
    QSignalSpy finished(&form, &oledrag_form::finished);
    form.close();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), kPlatformFailureStatus);
    QCOMPARE(answers.texts.size(), 1);
    QVERIFY2(answers.texts.first().startsWith("cannot read " + QDir::toNativeSeparators(backup)),
             qPrintable(answers.texts.first()));
    QCOMPARE(read_file(ini()), QByteArray("TAG-SET=YES\r\n"));
  }
};

QTEST_MAIN(OledragFormTest)
#include "oledrag_form_test.moc"
