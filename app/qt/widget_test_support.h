// Helpers shared by the widget tests: message boxes answered from a timer,
// and files read and written whole.
#pragma once

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace kestrova::testing {

// Answers every message box that comes up with OK and records its text.
class MessageAnswerer : public QObject {
 public:
  QStringList texts;

  MessageAnswerer() {
    connect(&timer_, &QTimer::timeout, this, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts << box->text();
        box->button(QMessageBox::Ok)->click();
      }
    });
    timer_.start(10);
  }

 private:
  QTimer timer_;
};

inline QByteArray read_file(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void write_file(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
  QCOMPARE(file.write(bytes), bytes.size());
}

}  // namespace kestrova::testing
