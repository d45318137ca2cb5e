#include "app/qt/startup.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>

#include "app/qt/oledrag_form.h"
#include "app/qt/platform.h"

namespace kestrova {

namespace {

QIcon program_icon() {
  QIcon icon;
  for (const int size : {16, 32, 48}) {
    icon.addFile(QStringLiteral(":/icons/kestrova-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace

int run_program(const QString& command_line, const QString& executable_path) {
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(program_icon());
  const QFileInfo executable(executable_path);
  try {
    const QString program_folder = executable.absolutePath();
    AppHost host(platform::settings_folder(program_folder));
    oledrag_form form(host, program_folder, platform::executable_name(executable.filePath()));
    int status = 0;
    QObject::connect(&form, &oledrag_form::finished, &form,
                     [&status](int finished_with) { status = finished_with; });
    if (form.Form_Load(command_line) == oledrag_form::Mode::CommandLine) {
      return status;
    }
    // Only now: an exit() outside the event loop would also end the loop
    // that later keeps the clipboard alive.
    QObject::connect(&form, &oledrag_form::finished, &form, &QCoreApplication::exit);
    form.show();
    QApplication::exec();
    return status;
  } catch (const ProgramEnded& ended) {
    return ended.status;
  } catch (const std::exception& failure) {
    show_message_box(QString::fromUtf8(failure.what()));
    return kPlatformFailureStatus;
  }
}

}  // namespace kestrova
