#include "app/linux/qt/app_host.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace kestrova {

void show_message_box(const QString& text, QWidget* parent, const std::function<void()>& on_ok) {
  QMessageBox box(parent);
  box.setWindowTitle(QCoreApplication::applicationName());
  box.setIcon(QMessageBox::NoIcon);
  // Paths wrapped in "<" and ">" must not be taken for markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  QPushButton* ok = box.addButton(QMessageBox::Ok);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  if (on_ok) {
    QObject::connect(ok, &QPushButton::clicked, ok, on_ok);
  }
  box.exec();
}

void show_failure_box(const QString& text, QWidget* parent) {
  std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()), qUtf8Printable(text));
  std::fflush(stderr);
  show_message_box(text, parent);
}

}  // namespace kestrova
