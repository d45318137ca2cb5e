// Widget test of the window's colours under a light, a dark and a
// high-contrast desktop palette: every text colour the window paints with
// must stand out from what lies behind it, also after the theme changed
// under the open window.
#include <QApplication>
#include <QMenuBar>
#include <QStyle>
#include <QTest>

#include "app/linux/qt/form_window.h"

using namespace kestrova;

namespace {

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

class ColoursTest : public QObject {
  Q_OBJECT

 private slots:
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

QTEST_MAIN(ColoursTest)
#include "colours_test.moc"
