#include "app/linux/selection.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "app/form.h"
#include "app/linux/wayland_selection.h"
#include "app/linux/x11_selection.h"

namespace kestrova {

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool offers(const std::vector<std::string>& offered, const char* interface) {
  return std::find(offered.begin(), offered.end(), interface) != offered.end();
}

}  // namespace

Session session_from_environment() {
  return {environment("WAYLAND_DISPLAY"), environment("DISPLAY"), environment("QT_QPA_PLATFORM")};
}

bool asks_compositor(const Session& session) {
  const std::string& qt = session.qt_platform;
  return !session.wayland_display.empty() &&
         (qt.empty() || qt.starts_with("wayland") || qt.starts_with("xcb"));
}

ClipboardRoute choose_route(const Session& session, const std::vector<std::string>* offered) {
  const std::string& qt = session.qt_platform;
  if (!qt.empty() && !qt.starts_with("wayland") && !qt.starts_with("xcb")) {
    return ClipboardRoute::Qt;  // a platform of its own was asked for (offscreen, eglfs, ...)
  }
  // Data control reaches Wayland programs and, through XWayland, X11 ones;
  // an X11 copy reaches Wayland programs only where the compositor passes
  // it on, which KWin does only while an X11 window is active.
  if (offered != nullptr && !session.wayland_display.empty() && offers(*offered, "wl_seat")) {
    if (offers(*offered, "ext_data_control_manager_v1")) {
      return ClipboardRoute::ExtDataControl;
    }
    if (offers(*offered, "zwlr_data_control_manager_v1")) {
      return ClipboardRoute::WlrDataControl;
    }
  }
  if (!session.display.empty() && !qt.starts_with("wayland")) {
    return ClipboardRoute::X11;
  }
  return ClipboardRoute::Qt;
}

bool display_for_qt(const Session& session) {
  if (!session.qt_platform.empty()) {
    return true;
  }
  return (!session.wayland_display.empty() && wayland::connect_to_compositor() != nullptr) ||
         (!session.display.empty() && x11::display_answers());
}

Clipboard choose_clipboard() {
  const Session session = session_from_environment();
  std::unique_ptr<wayland::Connection> compositor;
  if (asks_compositor(session)) {
    compositor = wayland::connect_to_compositor();
  }
  Clipboard chosen;
  const std::vector<std::string> offered =
      compositor != nullptr ? compositor->offered() : std::vector<std::string>{};
  chosen.route = choose_route(session, compositor != nullptr ? &offered : nullptr);
  switch (chosen.route) {
    case ClipboardRoute::ExtDataControl:
    case ClipboardRoute::WlrDataControl:
      chosen.keeper =
          wayland::data_control_keeper(std::move(compositor), chosen.route == ClipboardRoute::ExtDataControl);
      break;
    case ClipboardRoute::X11:
      chosen.keeper = x11::keeper();
      break;
    case ClipboardRoute::Qt:
      break;
  }
  return chosen;
}

bool copy_stands(const std::function<Holder()>& look, const std::function<Answer()>& ask) {
  using Clock = std::chrono::steady_clock;
  // Nobody may hold it for a moment while an owner is being replaced (a
  // keeper whose start gave up, a window that is going away).
  const auto grace = Clock::now() + std::chrono::seconds(1);
  bool silent_before = false;
  for (;;) {
    switch (look()) {
      case Holder::Copy:
        return true;
      case Holder::Keeper:
        return false;  // a newer start's copy supersedes ours
      case Holder::Other:
        switch (ask()) {
          case Answer::Same:
            return false;
          case Answer::Different:
            throw CopyTakenOver("cannot set the clipboard: another program put something else on it at once");
          case Answer::None:
            // It may have gone before it answered: who holds it now decides.
            if (std::exchange(silent_before, true) && Clock::now() > grace) {
              throw CopyTakenOver(
                  "cannot set the clipboard: another program took it at once and does not answer");
            }
            break;
        }
        break;
      case Holder::Nobody:
        if (Clock::now() > grace) {
          throw CopyTakenOver("cannot set the clipboard: another program emptied it at once");
        }
        break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void detach_from_caller() {
  const int null_fd = open("/dev/null", O_RDWR);
  if (null_fd >= 0) {
    std::fflush(nullptr);
    dup2(null_fd, STDIN_FILENO);
    dup2(null_fd, STDOUT_FILENO);
    dup2(null_fd, STDERR_FILENO);
    if (null_fd > STDERR_FILENO) {
      close(null_fd);
    }
  }
  setsid();
  if (chdir("/") != 0) {
    // Staying in the folder only keeps it busy; serving goes on all the same.
  }
}

void close_descriptors_except(const std::vector<int>& kept) {
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) {
    return;
  }
  const int own = dirfd(folder);
  std::vector<int> open_ones;
  while (const dirent* entry = readdir(folder)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (*end == '\0' && end != entry->d_name && fd > STDERR_FILENO && fd != own &&
        std::find(kept.begin(), kept.end(), fd) == kept.end()) {
      open_ones.push_back(static_cast<int>(fd));
    }
  }
  closedir(folder);
  for (const int fd : open_ones) {
    close(fd);
  }
}

std::string to_latin1(const Text& text) {
  std::string latin1;
  latin1.reserve(text.size());
  for (const char16_t unit : text) {
    latin1.push_back(unit <= 0xff ? static_cast<char>(unit) : '?');
  }
  return latin1;
}

}  // namespace kestrova
