#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/linux/qt/qt_text.h"
#include "app/linux/qt/platform.h"
#include "app/linux/posix_file_host.h"

namespace kestrova::platform {

QString settings_folder(const QString& program_folder) {
  return QString::fromStdString(
      settings_folder_of(QFileInfo(program_folder).absoluteFilePath().toStdString()));
}

QString executable_name(const QString& executable_path) { return QFileInfo(executable_path).fileName(); }

}  // namespace kestrova::platform
