#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

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

// What the worker says first: Qt is up, whatever it shows comes next.
constexpr int kWorkerUp = -1;

// The pipe to the waiting process, for the worker's exit hook.
int report_to_waiting = -1;

bool report(int fd, int word) {
  ssize_t put = 0;
  do {
    put = write(fd, &word, sizeof word);
  } while (put < 0 && errno == EINTR);
  return put == static_cast<ssize_t>(sizeof word);
}

void say(const std::string& what) {
  std::fprintf(stderr, "kestrova: %s\n", what.c_str());
  std::fflush(stderr);
}

// The waiting process's end once the worker is gone without a status:
// its own end, said in words, or a kill when it has not ended by `deadline`.
[[noreturn]] void end_after_worker(pid_t worker, int watch, std::chrono::steady_clock::time_point deadline,
                                   const char* why) {
  int how = 0;
  pid_t got = 0;
  while ((got = waitpid(worker, &how, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
    pollfd wait{watch, POLLIN, 0};
    if (watch < 0 || poll(&wait, 1, 50) < 0) {
      usleep(20000);
    }
  }
  if (got == 0) {
    kill(worker, SIGKILL);
    while (waitpid(worker, &how, 0) < 0 && errno == EINTR) {
    }
    say(why);
    _exit(EXIT_FAILURE);
  }
  if (got > 0 && WIFEXITED(how)) {
    _exit(WEXITSTATUS(how));
  }
  if (got > 0 && WIFSIGNALED(how)) {
    say(std::string("the process that showed the window or the message ended by signal ") +
        std::to_string(WTERMSIG(how)) + " without a status");
    _exit(128 + WTERMSIG(how));
  }
  _exit(EXIT_FAILURE);
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

ClipboardKeeper ClipboardKeeper::start(std::chrono::milliseconds bound) {
  ClipboardKeeper keeper;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    catch_close_signals();
    return keeper;  // no fork: the program still works, the clipboard ends with it
  }
  std::fflush(nullptr);
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
    keeper.report_fd_ = fds[1];
    report_to_waiting = fds[1];
    // Whatever ends the worker through exit() (a library's fatal path, a
    // plugin's) tells the waiting process at once and skips the teardown
    // that may wait for ever on a dead connection's thread.
    on_exit(
        [](int status, void*) {
          if (report_to_waiting >= 0) {
            report(report_to_waiting, status);
          }
          std::fflush(nullptr);
          _exit(status);
        },
        nullptr);
    return keeper;
  }
  close(fds[1]);
  // The caller knows this process: a close it asks for reaches the window.
  forward_close_signals(worker);
  // The worker's end, seen even when a process it started holds the pipe.
  const int watch = static_cast<int>(syscall(SYS_pidfd_open, worker, 0));
  const auto started = std::chrono::steady_clock::now();
  bool worker_up = false;
  for (;;) {
    // Until Qt is up, the worker has `bound`: Qt that cannot reach the
    // display within it will not; after that the user takes their time.
    int timeout = -1;
    if (!worker_up) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(started + bound - std::chrono::steady_clock::now())
              .count();
      if (left <= 0) {
        end_after_worker(worker, watch, std::chrono::steady_clock::now(),
                         ("the window or the message could not be shown within " +
                          std::to_string(bound.count() / 1000) + " s: the display does not answer")
                             .c_str());
      }
      timeout = static_cast<int>(left);
    }
    pollfd waits[2] = {{fds[0], POLLIN, 0}, {watch, POLLIN, 0}};
    const int got = poll(waits, watch >= 0 ? 2 : 1, timeout);
    if (got < 0 && errno != EINTR) {
      break;
    }
    if (got <= 0) {
      continue;
    }
    if ((waits[0].revents & (POLLIN | POLLHUP)) != 0) {
      int word = 0;
      const ssize_t read_now = read(fds[0], &word, sizeof word);
      if (read_now == static_cast<ssize_t>(sizeof word) && word == kWorkerUp) {
        worker_up = true;
        continue;
      }
      if (read_now == static_cast<ssize_t>(sizeof word)) {
        _exit(word);
      }
      if (read_now < 0 && errno == EINTR) {
        continue;
      }
      break;  // the worker closed its end without a status
    }
    if (watch >= 0 && (waits[1].revents & POLLIN) != 0) {
      // Ended: a status it wrote just before is still in the pipe.
      int word = 0;
      const int flags = fcntl(fds[0], F_GETFL);
      fcntl(fds[0], F_SETFL, flags | O_NONBLOCK);
      while (read(fds[0], &word, sizeof word) == static_cast<ssize_t>(sizeof word)) {
        if (word != kWorkerUp) {
          _exit(word);
        }
      }
      break;
    }
  }
  end_after_worker(worker, watch, std::chrono::steady_clock::now() + std::chrono::seconds(2),
                   "the process that showed the window or the message stopped answering and was ended");
}

void ClipboardKeeper::up() const {
  if (report_fd_ >= 0) {
    report(report_fd_, kWorkerUp);
  }
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
  report(report_fd_, status);
  close(report_fd_);
  report_fd_ = -1;
  report_to_waiting = -1;
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
