// Widget test of the window's colours under a light, a dark and a
// high-contrast desktop palette: every text colour the window paints with
// must stand out from what lies behind it, also after the theme changed
// under the open window.
#include <QApplication>
#include <QMenuBar>
#include <QStyle>
#include <QTest>
#include <memory>

#include "app/qt/form_window.h"

using namespace kestrova;

namespace {

struct Theme {
  const char* name;
  QPalette palette;
};

QPalette palette_of(const QColor& window, const QColor& text, const QColor& base, const QColor& light,
                    const QColor& highlight, const QColor& highlighted_text) {
  QPalette palette(window);
  for (const auto& [role, colour] : {std::pair{QPalette::WindowText, text}, {QPalette::ButtonText, text},
                                     {QPalette::Text, text}, {QPalette::Button, window}, {QPalette::Base, base},
                                     {QPalette::Light, light}, {QPalette::Highlight, highlight},
                                     {QPalette::HighlightedText, highlighted_text}}) {
    palette.setColor(role, colour);
  }
  return palette;
}

QList<Theme> themes() {
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

// Checks that `text` on `background` in `group` of `palette` is legible.
void require_legible(const QPalette& palette, QPalette::ColorRole background, QPalette::ColorRole text,
                     const QString& what) {
  for (const auto group : {QPalette::Active, QPalette::Inactive}) {
    const double ratio = contrast_ratio(rgb_of(palette.color(group, background)), rgb_of(palette.color(group, text)));
    QVERIFY2(ratio >= kLegibleContrast, qPrintable(QStringLiteral("%1: %2 on %3, contrast %4")
                                                       .arg(what, palette.color(group, text).name(),
                                                            palette.color(group, background).name())
                                                       .arg(ratio, 0, 'f', 2)));
  }
}

// The pairs the style paints the window's texts with: menu items (and a
// pressed one), the check box captions, list entries plain and selected.
void require_window_legible(const FormWindow& form, const char* theme) {
  const QString on = QStringLiteral(" on the %1 theme").arg(QLatin1String(theme));
  require_legible(form.menuBar()->palette(), QPalette::Window, QPalette::ButtonText, "menu" + on);
  require_legible(form.menuBar()->palette(), QPalette::Highlight, QPalette::HighlightedText,
                  "pressed menu" + on);
  for (const QCheckBox* box : {form.Check_CRLF, form.Check_drive, form.Check_TAG}) {
    require_legible(box->palette(), QPalette::Window, QPalette::WindowText, box->objectName() + on);
  }
  require_legible(form.List1->palette(), QPalette::Base, QPalette::Text, "list entry" + on);
  require_legible(form.List1->palette(), QPalette::Highlight, QPalette::HighlightedText,
                  "selected entry" + on);
}

}  // namespace

class ColoursTest : public QObject {
  Q_OBJECT

  const QPalette original_ = QApplication::palette();

 private slots:
  void cleanup() { QApplication::setPalette(original_); }

  void textIsLegibleOnEveryTheme() {
    for (const Theme& theme : themes()) {
      QApplication::setPalette(theme.palette);
      const auto form = std::make_unique<FormWindow>();
      require_window_legible(*form, theme.name);
      // A theme changed under an open window must not split a pair.
      for (const Theme& later : themes()) {
        QApplication::setPalette(later.palette);
        require_window_legible(*form, later.name);
      }
    }
  }

  // On the light theme the texts keep the theme's colours; only a selection
  // whose white text was too faint turns black.
  void lightThemeKeepsItsTextColours() {
    QApplication::setPalette(themes().first().palette);
    const auto form = std::make_unique<FormWindow>();
    const QPalette light = QApplication::palette();
    QCOMPARE(form->menuBar()->palette().color(QPalette::ButtonText), light.color(QPalette::ButtonText));
    QCOMPARE(form->Check_drive->palette().color(QPalette::WindowText), light.color(QPalette::WindowText));
    QCOMPARE(form->List1->palette().color(QPalette::Text), light.color(QPalette::Text));
  }
};

QTEST_MAIN(ColoursTest)
#include "colours_test.moc"
