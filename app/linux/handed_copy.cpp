#include "app/linux/handed_copy.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/linux/wayland_selection.h"
#include "app/linux/x11_selection.h"

namespace kestrova {

namespace {

// Names the descriptor of the socket to the window. Any command-line
// argument is a path to this program, so the hand-over cannot ride on one;
// a variable nobody sets by accident, naming a socket only a start from the
// window has, can carry it.
constexpr const char kMarker[] = "KESTROVA_HANDED_COPY";
constexpr char kMagic[4] = {'K', 'H', 'C', '1'};
// The largest text a hand-over takes, in UTF-16 units: far beyond any list.
constexpr std::uint64_t kMostUnits = std::uint64_t{1} << 28;

bool send_all(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    // MSG_NOSIGNAL: a process that died early must not take the window along.
    const ssize_t sent = send(fd, bytes, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) {
      continue;
    }
    if (sent <= 0) {
      return false;
    }
    bytes += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

bool receive_all(int fd, void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = recv(fd, bytes, size, 0);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return false;
    }
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

std::string errno_text(const char* what, int error) { return std::string(what) + std::strerror(error); }

std::string own_path() {
  char path[PATH_MAX];
  const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
  return size > 0 ? std::string(path, static_cast<std::size_t>(size)) : std::string("kestrova");
}

// Starts the program afresh with `their_end` open as descriptor `number`
// and the marker naming it. posix_spawn does what must happen between fork
// and exec itself, with calls that are safe in a process with threads.
pid_t start_fresh(int their_end, int number) {
  const std::string path = own_path();
  const std::string marker = std::string(kMarker) + "=" + std::to_string(number);
  std::vector<char*> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (std::strncmp(*variable, kMarker, sizeof kMarker - 1) != 0 || (*variable)[sizeof kMarker - 1] != '=') {
      environment.push_back(*variable);
    }
  }
  environment.push_back(const_cast<char*>(marker.c_str()));
  environment.push_back(nullptr);
  char* arguments[] = {const_cast<char*>(path.c_str()), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  // The socket is made close-on-exec; its copy under the agreed number is not.
  posix_spawn_file_actions_adddup2(&actions, their_end, number);
  // The window's threads may have blocked or caught signals: the new
  // process starts with none of that.
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t child = -1;
  const int error =
      posix_spawn(&child, "/proc/self/exe", &actions, &attributes, arguments, environment.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    throw PlatformError(errno_text("cannot keep the clipboard: ", error));
  }
  return child;
}

void reap(pid_t child) {
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

std::unique_ptr<SelectionKeeper> keeper_for(ClipboardRoute route) {
  switch (route) {
    case ClipboardRoute::ExtDataControl:
    case ClipboardRoute::WlrDataControl:
      // It connects on its first copy.
      return wayland::data_control_keeper(nullptr, route == ClipboardRoute::ExtDataControl);
    case ClipboardRoute::X11:
      return x11::keeper();
    case ClipboardRoute::Qt:
      break;
  }
  throw PlatformError("cannot set the clipboard: no clipboard of this program's own on this desktop");
}

}  // namespace

void copy_in_fresh_process(ClipboardRoute route, const Text& text) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    throw PlatformError(errno_text("cannot keep the clipboard: ", errno));
  }
  const int ours = pair[0];
  const int theirs = pair[1];
  // Any number above the standard three will do, but not the socket's own:
  // a dup2 onto itself would leave it close-on-exec.
  const int number = theirs == 3 ? 4 : 3;
  pid_t child = -1;
  try {
    child = start_fresh(theirs, number);
  } catch (const PlatformError&) {
    close(ours);
    close(theirs);
    throw;
  }
  close(theirs);

  const auto route_byte = static_cast<std::uint8_t>(route);
  const std::uint64_t units = text.size();
  const bool sent = send_all(ours, kMagic, sizeof kMagic) && send_all(ours, &route_byte, 1) &&
                    send_all(ours, &units, sizeof units) &&
                    send_all(ours, text.data(), units * sizeof(char16_t));
  std::uint8_t done = 0;
  std::uint32_t size = 0;
  std::string message;
  bool answered =
      sent && receive_all(ours, &done, 1) && receive_all(ours, &size, sizeof size) && size < 65536;
  if (answered) {
    message.resize(size);
    answered = receive_all(ours, message.data(), size);
  }
  close(ours);
  reap(child);
  if (!answered) {
    throw PlatformError("cannot set the clipboard: the process that was to keep it ended without an answer");
  }
  if (done == 0) {
    throw PlatformError(message);
  }
}

std::optional<int> run_handed_copy(int argc) {
  const char* marker = std::getenv(kMarker);
  if (marker == nullptr) {
    return std::nullopt;
  }
  char* end = nullptr;
  const long number = std::strtol(marker, &end, 10);
  const bool numeric = *end == '\0' && end != marker && number > STDERR_FILENO && number < INT_MAX;
  unsetenv(kMarker);
  const int fd = numeric ? static_cast<int>(number) : -1;
  struct stat status {};
  int type = 0;
  socklen_t type_size = sizeof type;
  if (argc != 1 || fd < 0 || fstat(fd, &status) != 0 || !S_ISSOCK(status.st_mode) ||
      getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &type_size) != 0 || type != SOCK_STREAM) {
    return std::nullopt;  // not started by the window: an ordinary start
  }
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  close_descriptors_except({fd});

  char magic[sizeof kMagic] = {};
  std::uint8_t route = 0;
  std::uint64_t units = 0;
  if (!receive_all(fd, magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0 ||
      !receive_all(fd, &route, 1) || route > static_cast<std::uint8_t>(ClipboardRoute::Qt) ||
      !receive_all(fd, &units, sizeof units) || units > kMostUnits) {
    return kPlatformFailureStatus;  // nobody to tell: the window hears of it by the socket's end
  }
  Text text(units, u'\0');
  if (!receive_all(fd, text.data(), units * sizeof(char16_t))) {
    return kPlatformFailureStatus;
  }
  std::string failure;
  try {
    keeper_for(static_cast<ClipboardRoute>(route))->copy(text);
  } catch (const std::exception& error) {
    failure = error.what();
    if (failure.empty()) {
      failure = "cannot set the clipboard";
    }
  }
  const std::uint8_t done = failure.empty() ? 1 : 0;
  const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(failure.size(), 65535));
  if (send_all(fd, &done, 1) && send_all(fd, &size, sizeof size)) {
    send_all(fd, failure.data(), size);
  }
  close(fd);
  return failure.empty() ? 0 : kPlatformFailureStatus;
}

}  // namespace kestrova
