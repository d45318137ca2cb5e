#include "app/linux/posix_file_host.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace kestrova {

namespace {

[[noreturn]] void fail(const char* verb, const std::string& path, int error) {
  throw FileError(std::string("cannot ") + verb + " " + path + ": " + std::strerror(error));
}

// What the settings code must not open: anything but a file. Opening a FIFO
// would wait for a writer that never comes; a device may do anything.
const char* kind_of(mode_t mode) {
  if (S_ISDIR(mode)) {
    return "a folder";
  }
  if (S_ISFIFO(mode)) {
    return "a FIFO";
  }
  if (S_ISCHR(mode) || S_ISBLK(mode)) {
    return "a device";
  }
  if (S_ISSOCK(mode)) {
    return "a socket";
  }
  return S_ISREG(mode) ? nullptr : "not a file";
}

[[noreturn]] void refuse(const char* verb, const std::string& path, mode_t mode) {
  throw NotAFileError(std::string("cannot ") + verb + " " + path + ": it is " + kind_of(mode) +
                      ", not a settings file");
}

// Throws NotAFileError when `path` (links followed) is there but no file.
void refuse_unless_file(const char* verb, const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    refuse(verb, path, info.st_mode);
  }
}

// Closes `fd`; a close that fails may have lost written data, so it counts.
int close_checked(int fd) { return close(fd) == 0 ? 0 : errno; }

// Flushes the folder that holds `name` to the disk; 0, or the error. A file
// system that cannot flush a folder (EINVAL) keeps no more than it did.
int sync_folder_of(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    return errno;
  }
  int error = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
  const int closed = close_checked(fd);
  return error != 0 ? error : closed;
}

bool make_folders(const std::string& folder) {
  std::size_t slash = 0;
  do {
    slash = folder.find('/', slash + 1);
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
      return false;
    }
  } while (slash != std::string::npos);
  struct stat info {};
  return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether the file `name` holds exactly `content`; false when it cannot be read.
bool holds(const std::string& name, const std::string& content) {
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info {};
  if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
    close(fd);
    return false;
  }
  if (fd < 0) {
    return false;
  }
  std::string read_back(content.size() + 1, '\0');
  std::size_t got = 0;
  while (got < read_back.size()) {
    const ssize_t n = read(fd, read_back.data() + got, read_back.size() - got);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  close(fd);
  return got == content.size() && read_back.compare(0, got, content) == 0;
}

// A file is replaced through a temporary file beside it, named as the file
// plus kTemporaryMarker and six letters or digits (mkostemp's): a marker of
// the program's own, so that no file a user keeps beside the settings
// (kestrova.ini.backup, kestrova.ini.orig01) is ever taken for one. Its
// writer holds an exclusive lock on it from before it is written until it is
// renamed or removed, so a temporary file whose lock can be taken has no
// writer left: its start was killed. The lock is the proof, not a process
// id, which the system may have given to another process since (or which
// lives in another PID namespace). An anonymous file (O_TMPFILE) would not do
// alone: it can be linked in only under a new name, never over the old file,
// so a kill between the link and the rename still leaves a name behind.
constexpr std::string_view kTemporaryMarker = ".kestrova-temp-";
constexpr std::size_t kTemporaryRandom = 6;

bool is_temporary_of(std::string_view entry, std::string_view base) {
  if (entry.size() != base.size() + kTemporaryMarker.size() + kTemporaryRandom || !entry.starts_with(base) ||
      entry.substr(base.size(), kTemporaryMarker.size()) != kTemporaryMarker) {
    return false;
  }
  return std::ranges::all_of(entry.substr(base.size() + kTemporaryMarker.size()), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  });
}

// Whether `fd` (locked) is still the file `name` names: a tidying start may
// have taken the file away between its creation and our lock.
bool still_named(int fd, const std::string& name) {
  struct stat by_fd {};
  struct stat by_name {};
  return fstat(fd, &by_fd) == 0 && lstat(name.c_str(), &by_name) == 0 && by_fd.st_dev == by_name.st_dev &&
         by_fd.st_ino == by_name.st_ino;
}

// Removes the temporary files of `name` that a killed start left behind.
// Best effort: what cannot be looked at or removed stays for a later start.
void remove_leftovers_of(std::string name) {
  // Beside the file a link names, where its writer puts them.
  if (char* target = realpath(name.c_str(), nullptr)) {
    name = target;
    std::free(target);
  }
  const std::size_t slash = name.rfind('/');
  const std::string folder = slash == 0 ? "/" : name.substr(0, slash);
  const std::string base = name.substr(slash + 1);
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) {
    return;
  }
  while (const dirent* entry = readdir(listing)) {
    if (!is_temporary_of(entry->d_name, base)) {
      continue;
    }
    const std::string leftover = folder + "/" + entry->d_name;
    const int fd = open(leftover.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      continue;
    }
    // Only what a start of ours made: a plain file of this user with no
    // other name (O_NOFOLLOW above: a link is never followed elsewhere).
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 && info.st_uid == geteuid() &&
        flock(fd, LOCK_EX | LOCK_NB) == 0 && still_named(fd, leftover)) {
      unlink(leftover.c_str());
    }
    close(fd);
  }
  closedir(listing);
}

// A new temporary file for `name`, created and locked (see above); its name
// goes into `temporary`. -1 with errno set when none can be made.
int locked_temporary(const std::string& name, std::string& temporary) {
  for (;;) {
    temporary = name + std::string(kTemporaryMarker) + std::string(kTemporaryRandom, 'X');
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
      return -1;
    }
    if (flock(fd, LOCK_EX) != 0) {
      const int error = errno;
      close(fd);
      unlink(temporary.c_str());
      errno = error;
      return -1;
    }
    if (still_named(fd, temporary)) {
      return fd;
    }
    close(fd);  // taken away by a tidying start before the lock: another one
  }
}

}  // namespace

std::string clean_path(const std::string& path) {
  const bool absolute = !path.empty() && path[0] == '/';
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) {
      end = path.size();
    }
    const std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (!absolute) {
        parts.push_back(part);
      }
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out = absolute ? "/" : "";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) {
      out += '/';
    }
    out += parts[i];
  }
  return out.empty() ? "." : out;
}

std::string settings_folder_of(const std::string& program_folder) {
  struct stat info {};
  if (stat(program_folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
      access(program_folder.c_str(), W_OK) == 0) {
    return clean_path(program_folder);
  }
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config != nullptr && config[0] == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr && *home != '\0' ? home : "") + "/.config";
  }
  std::string folder = clean_path(base + "/kestrova");
  if (!make_folders(folder)) {
    throw FileError("cannot create " + folder + ": the program's folder " + program_folder +
                    " is not writable and neither is this one");
  }
  return folder;
}

std::string start_folder() {
  struct stat here {};
  struct stat named {};
  const char* pwd = std::getenv("PWD");
  if (pwd != nullptr && pwd[0] == '/' && stat(".", &here) == 0 && stat(pwd, &named) == 0 &&
      here.st_dev == named.st_dev && here.st_ino == named.st_ino) {
    return clean_path(pwd);
  }
  std::string folder(PATH_MAX, '\0');
  while (getcwd(folder.data(), folder.size()) == nullptr) {
    if (errno != ERANGE) {
      return "";
    }
    folder.resize(folder.size() * 2);
  }
  folder.resize(std::strlen(folder.c_str()));
  return folder;
}

PosixFileHost::PosixFileHost(std::string settings_folder) : folder_(std::move(settings_folder)) {}

std::string PosixFileHost::absolute(const Text& path) const {
  const std::string name = to_utf8(path);
  return clean_path(!name.empty() && name[0] == '/' ? name : folder_ + "/" + name);
}

Text PosixFileHost::resolve(const Text& path) const { return from_utf8(absolute(path)); }

bool PosixFileHost::file_exists(const Text& path) const {
  const std::string name = absolute(path);
  struct stat info {};
  if (stat(name.c_str(), &info) != 0) {
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    refuse("read", name, info.st_mode);
  }
  return true;
}

bool PosixFileHost::path_exists(const Text& path) const {
  // Relative paths never count: the program works in its own folder, not
  // the caller's. What the folder lists counts, a link whose target is gone
  // included: the user selected the entry, not its target.
  struct stat info {};
  const std::string name = to_utf8(path);
  return name.starts_with('/') && lstat(name.c_str(), &info) == 0;
}

std::vector<std::string> PosixFileHost::read_lines(const Text& path) {
  const std::string name = absolute(path);
  // Every start reads the settings file: what a killed start left beside it
  // lasts no longer than the next one.
  refuse_unless_file("read", name);
  remove_leftovers_of(name);
  // Not blocking, in case a FIFO took the file's place since the look above.
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    fail("read", name, errno);
  }
  if (struct stat info{}; fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) {
    close(fd);
    refuse("read", name, info.st_mode);
  }
  std::string content;
  char buffer[16384];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      const int error = errno;
      close(fd);
      fail("read", name, error);
    }
    if (got == 0) {
      break;
    }
    content.append(buffer, static_cast<std::size_t>(got));
  }
  if (const int error = close_checked(fd)) {
    fail("read", name, error);
  }
  return split_lines(content);
}

void PosixFileHost::write_lines(const Text& path, const std::vector<std::string>& lines) {
  std::string name = absolute(path);
  // A link is written through, as an editor would: the file it names is replaced.
  if (char* target = realpath(name.c_str(), nullptr)) {
    name = target;
    std::free(target);
  }
  refuse_unless_file("write", name);
  remove_leftovers_of(name);
  const std::string content = join_lines(lines);
  // Mostly the file already holds these very bytes (settings rarely
  // change): then there is nothing to replace, and no disk to wait for.
  if (holds(name, content)) {
    return;
  }
  // The new content goes to a temporary file beside the target and replaces
  // it by a rename only once it is on the disk, so a crash or a full disk
  // leaves the old file in place rather than a truncated one.
  std::string temporary;
  const int fd = locked_temporary(name, temporary);
  if (fd < 0) {
    fail("write", name, errno);
  }
  // The lock goes with the last descriptor of the file: this one keeps it
  // past the close that tells whether the written data arrived.
  const int lock = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (lock < 0) {
    const int error = errno;
    close(fd);
    unlink(temporary.c_str());
    fail("write", name, error);
  }
  int error = 0;
  struct stat old {};
  mode_t mode = 0;
  if (stat(name.c_str(), &old) == 0) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  if (fchmod(fd, mode) != 0) {
    error = errno;
  }
  for (std::size_t done = 0; error == 0 && done < content.size();) {
    const ssize_t put = write(fd, content.data() + done, content.size() - done);
    if (put < 0 && errno != EINTR) {
      error = errno;
    } else if (put == 0) {
      error = ENOSPC;
    } else if (put > 0) {
      done += static_cast<std::size_t>(put);
    }
  }
  if (error == 0 && fsync(fd) != 0) {
    error = errno;
  }
  const int closed = close_checked(fd);
  if (error == 0) {
    error = closed;
  }
  if (error == 0 && rename(temporary.c_str(), name.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    unlink(temporary.c_str());
    close(lock);
    fail("write", name, error);
  }
  close(lock);
  // The rename lives in the folder: until the folder is on the disk too, a
  // crash right after it could bring the old file back.
  error = sync_folder_of(name);
  if (error != 0) {
    throw FileError("wrote " + name + ", but cannot flush its folder to the disk: " + std::strerror(error) +
                    " (the new file is in place; a crash of the system now could bring back the old one)");
  }
}

}  // namespace kestrova
