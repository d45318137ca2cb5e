#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include "app/qt/file_host.h"
#include "app/qt/platform.h"

namespace kestrova::platform {

QString settings_folder(const QString& program_folder) {
  const QFileInfo program(program_folder);
  if (program.isDir() && program.isWritable()) {
    return program.absoluteFilePath();
  }
  const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  QString folder = QDir(base).filePath(QStringLiteral("kestrova"));
  if (!QDir().mkpath(folder)) {
    throw FileError("cannot create " + QDir::toNativeSeparators(folder).toStdString() +
                    ": the program's folder " + QDir::toNativeSeparators(program_folder).toStdString() +
                    " is not writable and neither is this one");
  }
  return folder;
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
