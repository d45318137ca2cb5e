// The settings host of the desktop program: real files (PosixFileHost, as
// the start without a window has them) and modal message boxes.
#pragma once

#include <functional>

#include <QFile>
#include <QString>

#include "app/linux/posix_file_host.h"
#include "app/linux/qt/qt_text.h"

class QWidget;

namespace kestrova {

// Shows `text` as plain text in a modal box with one OK button, no icon, and
// the application's name as its title, centred over `parent` when given;
// returns when it is dismissed. `on_ok` runs when the OK button is pressed,
// while the input event that pressed it is still the latest one.
void show_message_box(const QString& text, QWidget* parent = nullptr,
                      const std::function<void()>& on_ok = {});

// A failure that ends the program: on standard error, for whoever started
// the program from a terminal or a script, and in a message box.
void show_failure_box(const QString& text, QWidget* parent = nullptr);

class AppHost : public PosixFileHost {
 public:
  explicit AppHost(const QString& settings_folder)
      : PosixFileHost(QFile::encodeName(settings_folder).toStdString()) {}
  // The settings code shows only errors that end the program.
  void show_message(const Text& text) override { show_failure_box(to_qstring(text)); }
};

}  // namespace kestrova
