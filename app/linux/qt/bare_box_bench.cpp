// The least a Qt program does to show a message box: the floor against
// which the program's own box is timed (scripts/latency-shown).
#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMessageBox box;
  box.setWindowTitle(QStringLiteral("bare_box"));
  box.setText(QStringLiteral("CLIPBOAD COPIED=/x/a.txt"));
  box.addButton(QMessageBox::Ok);
  return box.exec() == QMessageBox::Ok ? 0 : 1;
}
