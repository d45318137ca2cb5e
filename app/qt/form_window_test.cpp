// The Qt window under the offscreen platform: what only the toolkit can get
// wrong. The behaviour itself is tested against an in-memory window in
// app/form_test.cpp. Message boxes are answered from a timer, and drops are
// sent to the list's viewport as real drag-and-drop events.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>

#include "app/qt/form_window.h"
#include "app/qt/widget_test_support.h"

using namespace kestrova;
using kestrova::testing::MessageAnswerer;
using kestrova::testing::read_file;
using kestrova::testing::write_file;

class FormWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<AppHost> host_;
  std::unique_ptr<FormWindow> window_;
  std::unique_ptr<oledrag_form> form_;

  QString ini() const { return dir_->filePath(QStringLiteral("kestrova.ini")); }

  // A loaded window over a fresh folder, optionally with a settings file.
  FormWindow& load(const QByteArray& settings = {}, const QString& command_line = {}) {
    form_.reset();
    window_ = std::make_unique<FormWindow>();
    dir_ = std::make_unique<QTemporaryDir>();
    if (!settings.isNull()) {
      write_file(ini(), settings);
    }
    host_ = std::make_unique<AppHost>(dir_->path());
    form_ = std::make_unique<oledrag_form>(*host_, *window_, to_text(dir_->path()), u"kestrova");
    window_->attach(form_.get());
    form_->Form_Load(command_line_from_arguments({to_text(command_line)}));
    return *window_;
  }

  static void drop(QWidget* target, QMimeData* data) {
    const QPointF at(10, 10);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    QCOMPARE(dropped.dropAction(), Qt::CopyAction);
  }

  static void drop_urls(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    drop(target, &data);
  }

  QStringList entries() const {
    QStringList out;
    for (int i = 0; i < window_->List1->count(); ++i) {
      out << window_->List1->item(i)->text();
    }
    return out;
  }

  static QString clipboard() { return QGuiApplication::clipboard()->text(); }

 private slots:
  void layoutCaptionAndResizeOnTheOuterSize() {
    auto& window = load("TAG-SET=YES\r\nCRLF-SET=NO\r\n");
    QCOMPARE(window.windowTitle(), QStringLiteral("Kestrova  kestrova   Version:2.6.1"));
    QVERIFY(window.Check_TAG->isChecked() && !window.Check_CRLF->isChecked());
    QCOMPARE(window.Check_TAG->text(), QString::fromUtf16(u"タグ<　>を前後につける"));
    QCOMPARE(window.menuBar()->actions(), QList<QAction*>({window.MENU_HELP, window.MENU_CLEAR}));
    QCOMPARE(window.MENU_CLEAR->text(), QStringLiteral("CLEAR"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize frame = window.frameGeometry().size() - window.size();
    window.resize(QSize(568, 356) - frame);  // outer size 8520 x 5340 twips
    QTRY_COMPARE(window.List1->size(), QSize(511, 214));
    QCOMPARE(window.List1->pos(), QPoint(8, 80));
    const QPoint check_at = window.Check_TAG->pos();
    window.resize(QSize(1000, 300) - frame);
    QTRY_COMPARE(window.List1->size(), QSize(900, 180));
    QCOMPARE(window.List1->pos(), QPoint(8, 80));
    QCOMPARE(window.Check_TAG->pos(), check_at);
  }

  void dropsTakeLocalFilesOnlyAndOnlyOnTheList() {
    auto& window = load("DRIVE-CHG-SET=NO\r\n");
    MessageAnswerer answers;
    drop_urls(window.List1->viewport(), {QUrl::fromLocalFile("/a"), QUrl::fromLocalFile("/b")});
    drop_urls(window.List1->viewport(), {QUrl(QStringLiteral("file://localhost/tmp/a%20b.txt"))});
    QCOMPARE(entries(), QStringList({"/tmp/a b.txt", "/b"}));
    QMimeData text;
    text.setText(QStringLiteral("/just/text"));
    drop(window.List1->viewport(), &text);
    drop_urls(window.List1->viewport(),
              {QUrl(QStringLiteral("https://example.org/a.txt")), QUrl(QStringLiteral("file://server/share/f"))});
    QCOMPARE(answers.texts, QStringList(2, QString::fromUtf16(u"無選択です")));
    // Outside the list: taken, and nothing changes.
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    drop_urls(&window, {QUrl::fromLocalFile(QStringLiteral("/elsewhere"))});
    QCOMPARE(entries(), QStringList({"/tmp/a b.txt", "/b"}));
    QCOMPARE(clipboard(), QStringLiteral("before"));
    QCOMPARE(answers.texts.size(), 2);
  }

  void selectionChangesAndPlainClicksCopy() {
    auto& window = load("TAG-SET=YES\r\nCRLF-SET=NO\r\n");
    drop_urls(window.List1->viewport(), {QUrl::fromLocalFile("/a"), QUrl::fromLocalFile("/b")});
    window.List1->selectAll();
    QCOMPARE(clipboard(), QStringLiteral("</a>\r\n</b>"));
    window.List1->clearSelection();
    QCOMPARE(clipboard(), QString());
    window.List1->item(0)->setSelected(true);
    QCOMPARE(clipboard(), QStringLiteral("</a>\r\n"));
    // A click that changes nothing still copies, with the boxes of now.
    window.Check_TAG->setChecked(false);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QGuiApplication::clipboard()->setText(QStringLiteral("stale"));
    const QRect row = window.List1->visualItemRect(window.List1->item(0));
    QTest::mouseClick(window.List1->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(clipboard(), QStringLiteral("/a\r\n"));
    window.MENU_CLEAR->trigger();
    QCOMPARE(window.List1->count(), 0);
    QCOMPARE(clipboard(), QStringLiteral("/a\r\n"));
  }

  void closingRewritesAndHides() {
    auto& window = load();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.Check_TAG->setChecked(false);
    window.close();
    QVERIFY(!window.isVisible());
    QVERIFY(read_file(ini()).endsWith("CRLF-SET=YES\r\nTAG-SET=NO\r\n"));
  }

  void commandLineNeverShowsTheWindow() {
    MessageAnswerer answers;
    // A path far longer than any real one is copied whole.
    const QString path = "/my dir/" + QString(99992, QChar(u'd'));
    auto& window = load("CRLF-SET=NO\r\nTAG-SET=NO\r\n", '"' + path + '"');
    QCOMPARE(clipboard(), path);
    QCOMPARE(answers.texts, QStringList({"CLIPBOAD COPIED=" + path}));
    QVERIFY2(window.windowHandle() == nullptr, "the window never got a platform window, so was never shown");
  }
};

QTEST_MAIN(FormWindowTest)
#include "form_window_test.moc"
