// The settings host's file side without Qt, for the start that shows no
// window: POSIX calls, every step checked, a file replaced only by a rename
// once its new content is on the disk. Text in files is UTF-8, as Qt takes
// the system's encoding to be on POSIX systems.
#pragma once

#include <string>

#include "settings/host.h"

namespace kestrova {

class PosixFileHost : public SettingsHost {
 public:
  // Relative paths are resolved against `settings_folder`.
  explicit PosixFileHost(std::string settings_folder);

  Text resolve(const Text& path) const override;
  bool file_exists(const Text& path) const override;
  bool path_exists(const Text& path) const override;
  std::vector<std::string> read_lines(const Text& path) override;
  void write_lines(const Text& path, const std::vector<std::string>& lines) override;

 private:
  std::string absolute(const Text& path) const;

  std::string folder_;
};

// `path` with "." and ".." worked out, doubled slashes made one and no
// slash at the end ("/" stays "/"); nothing is looked up on the disk.
std::string clean_path(const std::string& path);

// The folder of the settings: `program_folder` when it is a writable folder,
// else $XDG_CONFIG_HOME/kestrova (by default ~/.config/kestrova), created
// when missing. Throws FileError when that folder cannot be created.
std::string settings_folder_of(const std::string& program_folder);

// The working folder as the user's shell shows it: $PWD when it names the
// working folder (with the links it went through), else the system's own
// name of it; empty when it has none (removed since).
std::string start_folder();

}  // namespace kestrova
