#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "app/linux/qt/clipboard.h"
#include "app/linux/qt/platform.h"
#include "app/linux/selection.h"

namespace kestrova::platform {

void choose_windowing_platform() {
  if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    return;
  }
  if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "xcb");
  }
}

namespace {

// Exit status of the waiting process when the worker died without a report.
int status_of_dead_worker(pid_t worker) {
  int how = 0;
  while (waitpid(worker, &how, 0) < 0) {
    if (errno != EINTR) {
      return EXIT_FAILURE;
    }
  }
  if (WIFEXITED(how)) {
    return WEXITSTATUS(how);
  }
  return WIFSIGNALED(how) ? 128 + WTERMSIG(how) : EXIT_FAILURE;
}

// Qt's word is not enough: on X11 it may believe it owns a clipboard the
// server never gave it, and then hears of no loss. So the windowing system
// is asked, at the change signal and on a short poll (loss of ownership is
// not signalled everywhere), and the worker ends within half a second of
// losing the clipboard.
void serve_until_taken_over() {
  QEventLoop loop;
  const auto check = [&] {
    if (!clipboard::owned()) {
      loop.quit();
    }
  };
  QObject::connect(QGuiApplication::clipboard(), &QClipboard::changed, &loop, check);
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, check);
  poll.start(500);
  loop.exec();
}

}  // namespace

ClipboardKeeper ClipboardKeeper::start() {
  ClipboardKeeper keeper;
  int fds[2];
  if (pipe(fds) != 0) {
    catch_close_signals();
    return keeper;  // no fork: the program still works, the clipboard ends with it
  }
  const pid_t worker = fork();
  if (worker < 0) {
    close(fds[0]);
    close(fds[1]);
    catch_close_signals();
    return keeper;
  }
  if (worker == 0) {
    catch_close_signals();
    close(fds[0]);
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    keeper.report_fd_ = fds[1];
    return keeper;
  }
  close(fds[1]);
  // The caller knows this process: a close it asks for reaches the window.
  forward_close_signals(worker);
  int status = 0;
  ssize_t got = 0;
  do {
    got = read(fds[0], &status, sizeof status);
  } while (got < 0 && errno == EINTR);
  _exit(got == static_cast<ssize_t>(sizeof status) ? status : status_of_dead_worker(worker));
}

int ClipboardKeeper::finish(int status) {
  if (report_fd_ < 0) {
    return status;
  }
  const bool serve = clipboard::owned();
  if (serve) {
    // Before the report: the caller must not wait on pipes we still hold.
    detach_from_caller();
  }
  ssize_t put = 0;
  do {
    put = write(report_fd_, &status, sizeof status);
  } while (put < 0 && errno == EINTR);
  close(report_fd_);
  report_fd_ = -1;
  if (serve) {
    serve_until_taken_over();
  }
  // Every file is closed and the status is reported: nothing is left to do
  // but leave. Tearing Qt down is skipped on purpose: with Qt 6.4 the
  // Wayland connection's destructor may wait forever for its event thread,
  // stuck reading a display that sends nothing more, and a process of ours
  // must never hang on its way out. The windowing system frees what a
  // client leaves behind.
  std::fflush(nullptr);
  _exit(status);
}

}  // namespace kestrova::platform
