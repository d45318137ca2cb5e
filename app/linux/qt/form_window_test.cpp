// The Qt window under the offscreen platform: what only the toolkit can get
// wrong (events wired to the handlers, drops as Qt delivers them, the real
// host's files at close, the colours the style paints with). The behaviour
// itself is app/form_test.cpp's; the faults of real files at start are
// fault_test.sh's. Message boxes are answered from a timer.
#include "app/linux/qt/form_window.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/linux/qt/app_host.h"
#include "app/linux/qt/qt_text.h"

using namespace kestrova;

namespace {

// Answers every message box that comes up with OK and records its text.
struct MessageAnswerer {
  QStringList texts;
  QTimer timer;
  MessageAnswerer() {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts << box->text();
        box->button(QMessageBox::Ok)->click();
      }
    });
    timer.start(10);
  }
};

QString clipboard() { return QGuiApplication::clipboard()->text(); }

// The program's window, loaded, over a folder of its own holding `settings`.
struct Window {
  QTemporaryDir dir;
  AppHost host{dir.path()};
  FormWindow view;
  oledrag_form form{host, view, to_text(dir.path()), u"kestrova"};
  explicit Window(const QByteArray& settings) {
    QFile file(ini());
    if (!file.open(QIODevice::WriteOnly) || file.write(settings) != settings.size()) { qFatal("cannot write"); }
    file.close();
    view.attach(&form);
    form.Form_Load(command_line_from_arguments({Text()}));
  }
  QString ini() const { return dir.filePath(QStringLiteral("kestrova.ini")); }
  QStringList entries() const {
    QStringList out;
    for (int i = 0; i < view.List1->count(); ++i) { out << view.List1->item(i)->text(); }
    return out;
  }
};

// Drops `urls`, or without any the plain `text`, as Qt delivers a drop.
void drop(QWidget* target, const QList<QUrl>& urls, const QString& text = {}) {
  QMimeData data;
  urls.isEmpty() ? data.setText(text) : data.setUrls(urls);
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent dropped(QPointF(10, 10), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &dropped);
  QCOMPARE(dropped.dropAction(), Qt::CopyAction);
}

// Dark and mid lines in the window's colour: no text lies on them.
QPalette palette_of(const QColor& window, const QColor& text, const QColor& base, const QColor& light,
                    const QColor& highlight, const QColor& highlighted_text) {
  QPalette palette(text, window, light, window, window, text, text, base, window);
  palette.setColor(QPalette::Highlight, highlight);
  palette.setColor(QPalette::HighlightedText, highlighted_text);
  return palette;
}

QList<std::pair<const char*, QPalette>> themes() {
  return {
      {"light", QApplication::style()->standardPalette()},
      // Light grey text, a dark 3-D highlight behind two check boxes, and a
      // blue selection on which white text is too faint.
      {"dark", palette_of(QColor(53, 53, 53), QColor(238, 238, 236), QColor(45, 45, 45), QColor(80, 80, 80),
                          QColor(42, 130, 218), Qt::white)},
      // White on black with a yellow selection, and a white 3-D highlight.
      {"high contrast", palette_of(Qt::black, Qt::white, Qt::black, Qt::white, Qt::yellow, Qt::black)},
  };
}

// The pairs the style paints the window's texts with: menu items (and a
// pressed one), the check box captions, list entries plain and selected.
void require_window_legible(const FormWindow& form, const char* theme) {
  const std::tuple<const QWidget*, QPalette::ColorRole, QPalette::ColorRole> pairs[] = {
      {form.menuBar(), QPalette::Window, QPalette::ButtonText},
      {form.menuBar(), QPalette::Highlight, QPalette::HighlightedText},
      {form.Check_CRLF, QPalette::Window, QPalette::WindowText},
      {form.Check_drive, QPalette::Window, QPalette::WindowText},
      {form.Check_TAG, QPalette::Window, QPalette::WindowText},
      {form.List1, QPalette::Base, QPalette::Text},
      {form.List1, QPalette::Highlight, QPalette::HighlightedText},
  };
  for (const auto& [widget, background, text] : pairs) {
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
      const QColor back = widget->palette().color(group, background), fore = widget->palette().color(group, text);
      const double ratio = contrast_ratio(rgb_of(back), rgb_of(fore));
      QVERIFY2(ratio >= kLegibleContrast, qPrintable(QStringLiteral("%1 on the %2 theme: %3 on %4, contrast %5")
                                                         .arg(widget->objectName(), theme, fore.name(), back.name())
                                                         .arg(ratio, 0, 'f', 2)));
    }
  }
}

}  // namespace

class FormWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void resizeFollowsTheOuterSize() {
    Window window("TAG-SET=YES\r\nCRLF-SET=NO\r\n");
    window.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.view));
    const QSize frame = window.view.frameGeometry().size() - window.view.size();
    window.view.resize(QSize(568, 356) - frame);  // outer size 8520 x 5340 twips
    QTRY_COMPARE(window.view.List1->size(), QSize(511, 214));
    const QPoint check_at = window.view.Check_TAG->pos();
    window.view.resize(QSize(1000, 300) - frame);
    QTRY_COMPARE(window.view.List1->size(), QSize(900, 180));
    QCOMPARE(window.view.List1->pos(), QPoint(8, 80));
    QCOMPARE(window.view.Check_TAG->pos(), check_at);
  }

  void dropsTakeLocalFilesOnlyAndOnlyOnTheList() {
    Window window("DRIVE-CHG-SET=NO\r\n");
    QWidget* list = window.view.List1->viewport();
    MessageAnswerer answers;
    drop(list, {QUrl::fromLocalFile("/a"), QUrl::fromLocalFile("/b")});
    drop(list, {QUrl(QStringLiteral("file://localhost/tmp/a%20b.txt"))});
    QCOMPARE(window.entries(), QStringList({"/tmp/a b.txt", "/b"}));
    drop(list, {}, QStringLiteral("/just/text"));
    drop(list, {QUrl(QStringLiteral("https://example.org/a.txt")), QUrl(QStringLiteral("file://server/share/f"))});
    QCOMPARE(answers.texts, QStringList(2, QString::fromUtf16(u"無選択です")));
    // Outside the list: taken, and nothing changes.
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    drop(&window.view, {QUrl::fromLocalFile(QStringLiteral("/elsewhere"))});
    QCOMPARE(window.entries(), QStringList({"/tmp/a b.txt", "/b"}));
    QCOMPARE(clipboard(), QStringLiteral("before"));
    QCOMPARE(answers.texts.size(), 2);
  }

  void selectionChangesAndPlainClicksCopy() {
    Window window("TAG-SET=YES\r\nCRLF-SET=NO\r\n");
    QListWidget* list = window.view.List1;
    drop(list->viewport(), {QUrl::fromLocalFile("/a"), QUrl::fromLocalFile("/b")});
    list->selectAll();
    QCOMPARE(clipboard(), QStringLiteral("</a>\r\n</b>"));
    list->clearSelection();
    QCOMPARE(clipboard(), QString());
    // A click that changes nothing still copies, with the boxes of now.
    list->item(0)->setSelected(true);
    window.view.Check_TAG->setChecked(false);
    window.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.view));
    QGuiApplication::clipboard()->setText(QStringLiteral("stale"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QCOMPARE(clipboard(), QStringLiteral("/a\r\n"));
    window.view.MENU_CLEAR->trigger();
    QCOMPARE(list->count(), 0);
    QCOMPARE(clipboard(), QStringLiteral("/a\r\n"));
  }

  // The close fails when the backup went away meanwhile: a message, status
  // 1, and the settings file as it was.
  void closeWithoutBackupFailsAndKeepsTheFile() {
    Window window("TAG-SET=YES\r\n");
    QVERIFY(QFile::remove(window.dir.filePath("kestrova.BAK")));
    MessageAnswerer answers;
    window.view.close();
    QCOMPARE(window.form.status(), kPlatformFailureStatus);
    QCOMPARE(answers.texts, QStringList("cannot read " + window.dir.filePath("kestrova.BAK") +
                                        ": No such file or directory"));
    QFile ini(window.ini());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), QByteArray("TAG-SET=YES\r\n"));
  }

  // Every text colour the window paints with stands out from what lies
  // behind it under a light, a dark and a high-contrast desktop palette,
  // also after the theme changed under the open window. Last: it leaves
  // the application's palette changed.
  void textIsLegibleOnEveryTheme() {
    for (const auto& [name, palette] : themes()) {
      QApplication::setPalette(palette);
      FormWindow form;
      require_window_legible(form, name);
      if (qstrcmp(name, "light") == 0) {
        // The light theme's texts keep their colours; only a selection whose
        // white text was too faint turns black.
        QCOMPARE(form.menuBar()->palette().color(QPalette::ButtonText), palette.color(QPalette::ButtonText));
        QCOMPARE(form.Check_drive->palette().color(QPalette::WindowText),
                 palette.color(QPalette::WindowText));
        QCOMPARE(form.List1->palette().color(QPalette::Text), palette.color(QPalette::Text));
      }
      // A theme changed under an open window must not split a pair.
      for (const auto& [later, later_palette] : themes()) {
        QApplication::setPalette(later_palette);
        require_window_legible(form, later);
      }
    }
  }
};

QTEST_MAIN(FormWindowTest)
#include "form_window_test.moc"
