// Everything in the desktop program that differs between operating systems:
// where the settings live, the executable's name, how the clipboard outlives
// the program, and which windowing platform Qt should use.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

namespace kestrova::platform {

// The folder that holds "ini.ini", "kestrova.ini" and "kestrova.BAK": the
// program's own folder when it is writable (portable use, the build tree),
// else the per-user configuration folder (on Linux $XDG_CONFIG_HOME/kestrova,
// by default ~/.config/kestrova), created when missing.
// Throws FileError when the per-user folder cannot be created.
QString settings_folder(const QString& program_folder);

// The executable's file name without its folder. POSIX programs carry no
// extension, so a dot in the name belongs to it ("kestrova-2.6").
QString executable_name(const QString& executable_path);

// Before QApplication exists: on a Wayland session that also offers X11
// (XWayland), ask Qt for the xcb platform, since a Wayland client that never
// showed a window cannot set the clipboard there. Respects an explicit
// QT_QPA_PLATFORM.
void choose_windowing_platform();

// Keeps the clipboard alive after the program's work is done.
//
// start() must run first thing in main, before QApplication exists. On POSIX
// it forks: the original process waits until the worker reports the exit
// status and then exits with it, so the caller (a shell, a file manager) sees
// the program end when its work is done; start() returns only in the worker.
// finish(status) reports the status; if the worker then still owns the
// clipboard (as the windowing system sees it, see clipboard::owned), it
// detaches from the caller's terminal and pipes and serves the clipboard
// until another program takes it over. In the worker it then ends the
// process with the status at once, without tearing Qt down, and does not
// return; without a worker (the fork failed) it returns the status.
// Where the platform keeps clipboard data by itself, both are no-ops.
//
// The waiting process waits for the worker's word that Qt is up (up())
// no longer than `bound`, and for its end without limit; whatever becomes of
// the worker (it never gets up, is killed, exits through Qt, or stops
// answering once it ended), that process ends with a status that says so
// and a line on standard error, and the worker does not stay behind.
class ClipboardKeeper {
 public:
  static ClipboardKeeper start(std::chrono::milliseconds bound = std::chrono::seconds(30));
  // In the worker: Qt reached the display.
  void up() const;
  int finish(int status);

 private:
  int report_fd_ = -1;
};

// The end of the desktop session (SIGTERM, SIGHUP) and Ctrl+C in a terminal
// (SIGINT) close the program as the user's close does, so the settings are
// written with the check boxes as they are. A signal the process was started
// ignoring (nohup, a background job) stays ignored.
//
// catch_close_signals, in the process that shows the window or a box, as
// early as possible: a signal is only noted until close_on_signals, once the
// application exists, acts on it from the event loop: the open box is closed
// as its title bar would close it, then the open window. With nothing open,
// the signal does what it would have done uncaught. forward_close_signals,
// in the process that waits for the worker: the signals go on to `worker`.
void catch_close_signals();
void close_on_signals();
void forward_close_signals(int worker);

}  // namespace kestrova::platform
