// What the settings code needs of the world outside: files and a message
// box. The desktop program implements it on the real
// platform; tests fake it in memory.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace kestrova {

// A file that could not be opened, read or written. what() names the file
// and the reason, e.g. "cannot write /x/kestrova.ini: Permission denied".
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A settings, redirect or backup path that names something other than a
// file (a folder, a FIFO, a device): refused before anything opens it for
// real, since a FIFO would hold the start for good. The program ends as
// after a settings error. what() names the path and what it is.
class NotAFileError : public FileError {
 public:
  using FileError::FileError;
};

// Thrown by the settings code after a settings error was shown: the program
// ends with `status`, running no close handler and rewriting nothing.
class ProgramEnded : public std::runtime_error {
 public:
  explicit ProgramEnded(int exit_status) : std::runtime_error("program ended"), status(exit_status) {}
  int status;
};

class SettingsHost {
 public:
  virtual ~SettingsHost() = default;

  // Paths are given as the settings code builds them; a relative path is
  // resolved by the host against the settings folder it was set up with.

  // The path as a person should read it in a message (absolute, say).
  virtual Text resolve(const Text& path) const { return path; }

  // True when `path` names an ordinary file (or a link to one); false when
  // nothing is there. Throws NotAFileError when something else is.
  virtual bool file_exists(const Text& path) const = 0;

  // True when `path` is a full path naming a file or a folder. A relative
  // path never counts: it would be read against the program's folder, not
  // the folder of whoever gave it.
  virtual bool path_exists(const Text& path) const = 0;

  // The file's lines as raw bytes, without their terminators. CR LF, a lone
  // LF and a lone CR each end a line; a final line without terminator counts,
  // an empty file has no lines. Throws FileError (NotAFileError for
  // anything but a file).
  virtual std::vector<std::string> read_lines(const Text& path) = 0;

  // Replaces the file's content with `lines`, each followed by CR LF, as one
  // atomic step: afterwards the file holds either all of it or its old
  // content, never a part. Throws FileError (NotAFileError when something
  // other than a file is in the way); the file is then unchanged.
  virtual void write_lines(const Text& path, const std::vector<std::string>& lines) = 0;

  // The system's encoding for text in files. UTF-8 unless overridden.
  virtual Text decode(std::string_view bytes) const { return from_utf8(bytes); }
  virtual std::string encode(TextView text) const { return to_utf8(text); }

  // Shows `text` in a modal message box and returns when it is dismissed.
  virtual void show_message(const Text& text) = 0;
};

// Splits file content into lines as read_lines promises.
std::vector<std::string> split_lines(std::string_view content);

// Joins lines, each followed by CR LF.
std::string join_lines(const std::vector<std::string>& lines);

}  // namespace kestrova
