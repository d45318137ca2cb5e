// An in-memory SettingsHost for tests: files are byte strings keyed by path,
// and every message shown is recorded.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "settings/host.h"

namespace kestrova::testing {

class FakeHost : public SettingsHost {
 public:
  std::map<Text, std::string> files;
  std::set<Text> unwritable;
  std::set<Text> folders;
  std::vector<Text> messages;
  std::vector<Text> writes;  // every path written, in order

  bool file_exists(const Text& path) const override { return files.contains(path); }
  bool path_exists(const Text& path) const override { return files.contains(path) || folders.contains(path); }

  std::vector<std::string> read_lines(const Text& path) override {
    if (!files.contains(path)) {
      throw FileError("cannot read " + to_utf8(path) + ": No such file or directory");
    }
    return split_lines(files.at(path));
  }

  void write_lines(const Text& path, const std::vector<std::string>& lines) override {
    if (unwritable.contains(path)) {
      throw FileError("cannot write " + to_utf8(path) + ": Permission denied");
    }
    files[path] = join_lines(lines);
    writes.push_back(path);
  }

  void show_message(const Text& text) override { messages.push_back(text); }

  // The file's content as text, for assertions.
  std::string content(const Text& path) const { return files.contains(path) ? files.at(path) : std::string(); }
};

}  // namespace kestrova::testing
