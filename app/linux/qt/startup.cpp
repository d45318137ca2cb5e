#include "app/linux/qt/startup.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <memory>

#include "app/linux/network_mounts.h"
#include "app/linux/posix_file_host.h"
#include "app/linux/qt/form_window.h"
#include "app/linux/qt/platform.h"

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

void prepare_application() {
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(program_icon());
}

int run_program(const CommandLine& line, const QString& executable_path) {
  prepare_application();
  const QFileInfo executable(executable_path);
  const QString program_folder = executable.absolutePath();
  FormWindow window;
  const ProcNetworkMounts mounts;
  std::unique_ptr<AppHost> host;
  const auto open_settings = [&]() -> SettingsHost& {
    host = std::make_unique<AppHost>(platform::settings_folder(program_folder));
    return *host;
  };
  return run_program(
      window, open_settings,
      {line, to_text(program_folder), to_text(platform::executable_name(executable.filePath())), &mounts,
       kNativePathFlavour, from_utf8(start_folder())});
}

}  // namespace kestrova
