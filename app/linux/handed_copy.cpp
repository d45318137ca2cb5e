#include "app/linux/handed_copy.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
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
constexpr char kMagic[4] = {'K', 'H', 'C', '2'};
// The largest text a hand-over takes, in UTF-16 units: far beyond any list.
constexpr std::uint64_t kMostUnits = std::uint64_t{1} << 28;

using Clock = std::chrono::steady_clock;

// What the started process answers: the copy failed, held, or another
// program took it over (then no clear of the window's may follow).
enum Answer : std::uint8_t { kFailed = 0, kDone = 1, kTakenOver = 2 };
// What the window asks of it.
enum Request : std::uint8_t { kCopy = 'C', kClear = 'E' };

// Waits until `fd` is ready for `events`; false when `deadline` passed first
// (or the descriptor failed). Without a deadline, waits as long as it takes.
bool ready(int fd, short events, const Clock::time_point* deadline) {
  for (;;) {
    int timeout = -1;
    if (deadline != nullptr) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
      if (left <= 0) {
        return false;
      }
      timeout = static_cast<int>(std::min<long long>(left, INT_MAX));
    }
    pollfd wait{fd, events, 0};
    const int got = poll(&wait, 1, timeout);
    if (got > 0) {
      return true;
    }
    if (got < 0 && errno != EINTR) {
      return false;
    }
  }
}

bool send_all(int fd, const void* data, std::size_t size, const Clock::time_point* deadline = nullptr) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    if (!ready(fd, POLLOUT, deadline)) {
      return false;
    }
    // MSG_NOSIGNAL: a process that died early must not take the window along.
    const ssize_t sent = send(fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && (errno == EINTR || errno == EAGAIN)) {
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

bool receive_all(int fd, void* data, std::size_t size, const Clock::time_point* deadline = nullptr) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    if (!ready(fd, POLLIN, deadline)) {
      return false;
    }
    const ssize_t got = recv(fd, bytes, size, MSG_DONTWAIT);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
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

// Reaps `child` once it has ended, waiting no later than `deadline`; then
// ends it. Never leaves the window waiting on a process that stopped.
void reap_by(pid_t child, Clock::time_point deadline) {
  const auto ended = [child] {
    pid_t got = 0;
    while ((got = waitpid(child, nullptr, WNOHANG)) < 0 && errno == EINTR) {
    }
    return got != 0;  // reaped, or not ours to reap
  };
  // A descriptor that becomes readable when the child ends, where the
  // kernel has them; else a short poll.
  const int watch = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
  while (!ended()) {
    if (Clock::now() >= deadline) {
      kill(child, SIGKILL);
      while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    if (watch < 0 || !ready(watch, POLLIN, &deadline)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(watch < 0 ? 2 : 0));
    }
  }
  if (watch >= 0) {
    close(watch);
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

namespace {

void hand_over(Request request, ClipboardRoute route, const Text& text, std::chrono::milliseconds bound) {
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

  // The started process connects, copies and answers within its own bounds
  // (two seconds for a compositor, one for an X11 owner to settle, one for
  // another owner's text); one that takes longer has stopped, and the
  // window must not freeze with it.
  const Clock::time_point deadline = Clock::now() + bound;
  const std::uint8_t head[2] = {static_cast<std::uint8_t>(request), static_cast<std::uint8_t>(route)};
  const std::uint64_t units = text.size();
  const bool sent = send_all(ours, kMagic, sizeof kMagic, &deadline) &&
                    send_all(ours, head, sizeof head, &deadline) &&
                    send_all(ours, &units, sizeof units, &deadline) &&
                    send_all(ours, text.data(), units * sizeof(char16_t), &deadline);
  std::uint8_t answer = kFailed;
  std::uint32_t size = 0;
  std::string message;
  bool answered = sent && receive_all(ours, &answer, 1, &deadline) &&
                  receive_all(ours, &size, sizeof size, &deadline) && size < 65536;
  if (answered) {
    message.resize(size);
    answered = receive_all(ours, message.data(), size, &deadline);
  }
  close(ours);
  const bool late = Clock::now() >= deadline;
  // It ends as soon as it has answered or hung up; a second more is plenty.
  // One that let the bound pass has stopped: it is ended at once.
  reap_by(child, late ? Clock::now() : Clock::now() + std::chrono::seconds(1));
  if (!answered) {
    throw PlatformError(
        late ? "cannot set the clipboard: the process that was to keep it did not answer within " +
                   std::to_string(bound.count()) + " ms and was ended"
             : "cannot set the clipboard: the process that was to keep it ended without an answer");
  }
  if (answer == kTakenOver) {
    throw CopyTakenOver(message);
  }
  if (answer != kDone) {
    throw PlatformError(message);
  }
}

}  // namespace

void copy_in_fresh_process(ClipboardRoute route, const Text& text, std::chrono::milliseconds bound) {
  hand_over(kCopy, route, text, bound);
}

void clear_in_fresh_process(ClipboardRoute route) { hand_over(kClear, route, Text(), kHandedCopyBound); }

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
  std::uint8_t head[2] = {};
  std::uint64_t units = 0;
  if (!receive_all(fd, magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0 ||
      !receive_all(fd, head, sizeof head) || (head[0] != kCopy && head[0] != kClear) ||
      head[1] > static_cast<std::uint8_t>(ClipboardRoute::Qt) || !receive_all(fd, &units, sizeof units) ||
      units > kMostUnits) {
    return kPlatformFailureStatus;  // nobody to tell: the window hears of it by the socket's end
  }
  Text text(units, u'\0');
  if (!receive_all(fd, text.data(), units * sizeof(char16_t))) {
    return kPlatformFailureStatus;
  }
  std::string failure;
  std::uint8_t answer = kDone;
  try {
    const auto keeper = keeper_for(static_cast<ClipboardRoute>(head[1]));
    head[0] == kClear ? keeper->clear() : keeper->copy(text);
  } catch (const std::exception& error) {
    answer = dynamic_cast<const CopyTakenOver*>(&error) != nullptr ? kTakenOver : kFailed;
    failure = error.what();
    if (failure.empty()) {
      failure = "cannot set the clipboard";
    }
  }
  const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(failure.size(), 65535));
  if (send_all(fd, &answer, 1) && send_all(fd, &size, sizeof size)) {
    send_all(fd, failure.data(), size);
  }
  close(fd);
  return failure.empty() ? 0 : kPlatformFailureStatus;
}

}  // namespace kestrova
