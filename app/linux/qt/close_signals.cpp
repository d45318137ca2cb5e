#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <csignal>

#include "app/linux/qt/platform.h"

namespace kestrova::platform {

namespace {

constexpr int kCloseSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The self-pipe: the handler may do next to nothing, so it only writes the
// signal's number, and the event loop reads it.
int noted[2] = {-1, -1};
volatile sig_atomic_t worker_pid = 0;

void note(int signal) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(signal);
  // Non-blocking: a full pipe already holds a close.
  (void)!write(noted[1], &byte, 1);
  errno = saved;
}

void pass_on(int signal) {
  const int saved = errno;
  if (worker_pid > 0) {
    kill(static_cast<pid_t>(worker_pid), signal);
  }
  errno = saved;
}

void install(void (*handler)(int)) {
  for (const int signal : kCloseSignals) {
    struct sigaction old {};
    if (sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
  }
}

// What an uncaught signal would have done, the handler set aside.
void end_by(int signal) {
  std::signal(signal, SIG_DFL);
  raise(signal);
}

void close_what_is_open() {
  int signal = 0;
  unsigned char byte = 0;
  // Several signals at once (the session's and the waiting parent's) make one close.
  while (read(noted[0], &byte, 1) == 1) {
    signal = byte;
  }
  if (signal == 0) {
    return;
  }
  bool closed = false;
  if (QWidget* box = QApplication::activeModalWidget()) {
    closed = box->close();
  }
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible() && qobject_cast<QMainWindow*>(window) != nullptr) {
      window->close();
      closed = true;
    }
  }
  if (!closed) {
    // The close is behind us (a keeper serving the last copy): the session
    // ends it.
    end_by(signal);
  }
}

}  // namespace

void catch_close_signals() {
  if (noted[0] >= 0 || pipe2(noted, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  install(note);
}

void close_on_signals() {
  if (noted[0] < 0) {
    return;
  }
  auto* notifier = new QSocketNotifier(noted[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, close_what_is_open);
}

void forward_close_signals(int worker) {
  worker_pid = worker;
  install(pass_on);
}

}  // namespace kestrova::platform
