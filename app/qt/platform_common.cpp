#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include "app/qt/qt_text.h"
#include "app/qt/platform.h"
#include "app/qt/posix_file_host.h"

namespace kestrova::platform {

QString settings_folder(const QString& program_folder) {
  return QString::fromStdString(
      settings_folder_of(QFileInfo(program_folder).absoluteFilePath().toStdString()));
}

QString executable_name(const QString& executable_path) { return QFileInfo(executable_path).fileName(); }

QStringList command_line_arguments(int argc, const char* const* argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) {
    arguments << QString::fromLocal8Bit(argv[i]);
  }
  return arguments;
}

}  // namespace kestrova::platform
