// The settings host's file side on Windows: files through the Win32 file
// API, replaced atomically, text in the system's ANSI code page. Message
// boxes and ending the program are left to the program, which derives.
#pragma once

#include "settings/host.h"

namespace kestrova {

class Win32FileHost : public SettingsHost {
 public:
  // Relative paths are resolved against `settings_folder`.
  explicit Win32FileHost(Text settings_folder);

  // Text in files is in the ANSI code page (CP_ACP); characters it lacks
  // are written as the code page's default character.
  Text decode(std::string_view bytes) const override;
  std::string encode(TextView text) const override;

  // Full paths with "\\" only; failures name them with the Windows reason.
  Text resolve(const Text& path) const override;
  bool file_exists(const Text& path) const override;
  bool path_exists(const Text& path) const override;
  std::vector<std::string> read_lines(const Text& path) override;
  // Through a temporary file in the same folder, then MoveFileExW.
  void write_lines(const Text& path, const std::vector<std::string>& lines) override;

 private:
  Text folder_;
};

}  // namespace kestrova
