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

  Text resolve(const Text& path) const override;
  bool file_exists(const Text& path) const override;
  std::vector<std::string> read_lines(const Text& path) override;
  void write_lines(const Text& path, const std::vector<std::string>& lines) override;
  Text decode(std::string_view bytes) const override;
  std::string encode(TextView text) const override;

 private:
  Text folder_;
};

}  // namespace kestrova
