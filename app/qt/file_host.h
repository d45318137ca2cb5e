// The settings host's file side on the real platform: files through Qt Core,
// written atomically, text in the system's encoding. Message boxes and ending
// the program are left to the desktop layer, which derives from this.
#pragma once

#include <QDir>
#include <QString>

#include "settings/host.h"

namespace kestrova {

class FileHost : public SettingsHost {
 public:
  // Relative paths are resolved against `settings_folder`.
  explicit FileHost(QString settings_folder);

  Text resolve(const Text& path) const override;
  bool file_exists(const Text& path) const override;
  bool path_exists(const Text& path) const override;
  std::vector<std::string> read_lines(const Text& path) override;
  void write_lines(const Text& path, const std::vector<std::string>& lines) override;
  Text decode(std::string_view bytes) const override;
  std::string encode(TextView text) const override;


 private:
  QString absolute(const Text& path) const;

  QString folder_;
};

QString to_qstring(TextView text);
Text to_text(const QString& text);

}  // namespace kestrova
