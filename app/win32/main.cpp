// The Windows program: one window on the shared behaviour, or a copy from
// the command line that Explorer's Send To or a shortcut hands over.
#include <windows.h>

#include <optional>
#include <string>

#include "app/form.h"
#include "app/win32/file_host.h"
#include "app/win32/network_drives.h"
#include "app/win32/start.h"
#include "app/win32/text.h"
#include "app/win32/view.h"

namespace kestrova::win32 {
namespace {

class ProgramHost final : public Win32FileHost {
 public:
  ProgramHost(Text settings_folder, Text title)
      : Win32FileHost(std::move(settings_folder)), title_(std::move(title)) {}
  void show_message(const Text& text) override { MessageBoxW(nullptr, wide(text), wide(title_), MB_OK); }

 private:
  Text title_;
};

// The working folder the program was started in, which relative paths on
// its command line name files in; empty when it cannot be had.
Text working_folder() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(size, L'\0');
  const DWORD length = size == 0 ? 0 : GetCurrentDirectoryW(size, folder.data());
  return length == 0 || length >= size ? Text() : text_of(folder.data(), length);
}

int run(HINSTANCE instance) {
  const Text executable = module_path();
  const Text name = executable_name(executable);
  const Text folder = folder_of(executable);
  Win32View view(instance, name);
  const NetworkDrives drives;
  std::optional<ProgramHost> host;
  return run_program(view, [&]() -> SettingsHost& { return host.emplace(settings_folder(folder), name); },
                     {command_line_from_tail(command_line_tail(text_of(GetCommandLineW()))), folder, name,
                      &drives, kNativePathFlavour, working_folder()});
}

}  // namespace
}  // namespace kestrova::win32

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace kestrova;
  int status = kPlatformFailureStatus;
  try {
    status = win32::run(instance);
  } catch (const std::exception& failure) {
    // The window itself could not be made: nothing to show a message in.
    MessageBoxW(nullptr, win32::wide(from_utf8(failure.what())), L"kestrova", MB_OK);
  }
  return status;
}
