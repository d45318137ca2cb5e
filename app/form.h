// The window's behaviour, written once for every desktop: start-up and the
// command-line mode, the drop and click handlers, the resize rule, the two
// menu commands, close, and what a failure does. It knows no toolkit: it
// talks to its window through FormView, which each front end (app/linux/,
// app/win32/) implements over its toolkit, routing the toolkit's events to
// the handlers of oledrag_form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include "clip/clip.h"
#include "clip/network.h"
#include "settings/settings.h"

namespace kestrova {

// A failure of the clipboard, the working folder or another platform
// service (files have FileError). what() says what failed and why.
class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A copy that another program replaced before it held: the clipboard holds
// that program's text now, and no clear of ours may take it away.
class CopyTakenOver : public PlatformError {
 public:
  using PlatformError::PlatformError;
};

// Exit status after a failure of a file, the clipboard or another platform
// service that was reported in a message box.
inline constexpr int kPlatformFailureStatus = 1;

class oledrag_form;

// The three option check boxes.
enum class CheckBox { CRLF, drive, TAG };

// The one of a front end's three check-box controls that stands for `box`.
template <typename Control>
Control pick_check_box(CheckBox box, Control crlf, Control drive, Control tag) {
  switch (box) {
    case CheckBox::CRLF:
      return crlf;
    case CheckBox::drive:
      return drive;
    case CheckBox::TAG:
      break;
  }
  return tag;
}

// What the window's behaviour needs of its window and desktop. Every call
// comes on the user-interface thread. Calls that the platform can refuse
// throw PlatformError (or FileError) naming what failed and why.
class FormView {
 public:
  virtual ~FormView() = default;

  // The window's caption; before start-up composes it, the designed one.
  virtual Text caption() const = 0;
  virtual void set_caption(const Text& caption) = 0;

  // 1 ticked, 0 cleared.
  virtual int check_state(CheckBox box) const = 0;
  virtual void set_checked(CheckBox box, bool ticked) = 0;

  // The list. Writing at index == list_count() adds a last entry; writing
  // below it replaces that entry. Neither writing nor clearing counts as a
  // click: the view raises no List1_Click for them.
  virtual std::size_t list_count() const = 0;
  virtual Text list_entry(std::size_t index) const = 0;
  virtual void write_list_entry(std::size_t index, const Text& text) = 0;
  // Writes texts[i] at index first + i, in order, as write_list_entry does;
  // a view may do it in one go.
  virtual void write_list_entries(std::size_t first, const std::vector<Text>& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i) {
      write_list_entry(first + i, texts[i]);
    }
  }
  virtual void clear_list() = 0;
  // The indexes of the selected entries, ascending.
  virtual std::vector<std::size_t> selected_entries() const = 0;

  // The window's outer size, frame, caption and menu bar included, and the
  // list's size, in twips (1/1440 inch).
  virtual double outer_width_twips() const = 0;
  virtual double outer_height_twips() const = 0;
  virtual void set_list_width_twips(float width) = 0;
  virtual void set_list_height_twips(float height) = 0;

  // Removes everything from the clipboard.
  virtual void clear_clipboard() = 0;
  // Puts exactly `text` on the clipboard as plain text, replacing all that
  // was there in one step: no other program can see the clipboard empty, or
  // holding anything else, in between (a clipboard manager that refills an
  // empty clipboard would put its last entry back over the copy). So the
  // behaviour never clears before a copy; a handler that clears and then
  // copies copies only. Throws PlatformError only when the copy did not
  // happen; a copy that another program replaced at once did not happen,
  // unless that program is a newer copy of this one or holds this very text,
  // and throws CopyTakenOver then.
  virtual void set_clipboard_text(const Text& text) = 0;
  // True where a copy only holds when it answers the user's own input (a
  // key press or click in the program's window), as on a Wayland desktop:
  // the command-line mode then copies again from the OK of its message.
  virtual bool copy_needs_user_input() const { return false; }

  // A modal message with one OK button, no icon and the application's name
  // as its title; returns when it is dismissed. `on_ok` runs inside the
  // press of OK, while that input event is the user's latest.
  virtual void show_message(const Text& text, const std::function<void()>& on_ok = {}) = 0;

  // A failure that ends the program, shown as show_message shows a message.
  // A front end may also tell it where the caller that started the program
  // sees it (a terminal, a file manager's log).
  virtual void show_failure(const Text& text) { show_message(text); }

  // The window's events go to `form`'s handlers from now on; nullptr stops
  // them.
  virtual void attach(oledrag_form* form) = 0;

  // Shows the window and serves its events until end() is called.
  virtual void show_and_run() = 0;
  // The program's work in the window is over with `status`: the window goes
  // without raising any handler again and show_and_run() returns. Also
  // called before show_and_run() (command-line mode, a failure at start);
  // the window is then never shown.
  virtual void end(int status) = 0;
};

// The three check boxes as the clip edit asks them, at every edit.
class CheckBoxOptions final : public OptionSource {
 public:
  explicit CheckBoxOptions(const FormView& view) : view_(view) {}
  int Check_drive() const override { return view_.check_state(CheckBox::drive); }
  int Check_TAG() const override { return view_.check_state(CheckBox::TAG); }
  int Check_CRLF() const override { return view_.check_state(CheckBox::CRLF); }

 private:
  const FormView& view_;
};

// The command line as the platform hands it over: as one text, which a
// single path or the "$FILENAME$" marker is read from, and as its items,
// which tell several paths apart.
struct CommandLine {
  Text text;
  std::vector<Text> items;
};

// POSIX: the arguments after the program's name, exactly as given; the text
// joins them by single spaces.
CommandLine command_line_from_arguments(std::vector<Text> arguments);

// POSIX: the same from main's `argv`, whose arguments are UTF-8, taken
// before any toolkit may strip what looks like its own options.
CommandLine command_line_from_argv(int argc, const char* const* argv);

// Windows: the raw text after the program's name. The items are what
// CommandLineToArgvW makes of it: blanks outside quotes separate, quotes
// group and go, backslashes count only in front of a quote.
CommandLine command_line_from_tail(Text tail);

class oledrag_form {
 public:
  enum class Mode { Window, CommandLine };

  // `host` reaches the settings files; `program_folder` becomes the working
  // folder at start; `executable_name` (without folder and extension) goes
  // into the caption; `mounts`, when given, answers the drive table's row
  // that asks the system for network paths; `paths` says how the system's
  // paths look: the file-name mode splits at "\" on Windows, at "/" on POSIX;
  // `start_folder` is the working folder the program was started in, which
  // relative paths on the command line are read against (none when empty).
  oledrag_form(SettingsHost& host, FormView& view, Text program_folder, Text executable_name,
               const NetworkMounts* mounts = nullptr, PathFlavour paths = kNativePathFlavour,
               Text start_folder = {});

  // Start-up: working folder, settings found, created and loaded, caption,
  // check boxes; then, for a non-empty command line, copies its path (or
  // the bare file name after "$FILENAME$"), closes the settings through
  // Form_Unload and ends the view. Two or more items that all name existing
  // files or folders are copied as several paths (or, behind a first item
  // "$FILENAME$", as their bare names). A relative path that names something
  // in the start folder is copied as its full path, links not resolved. Returns which mode the program is in.
  // Throws FileError or PlatformError on a platform failure and lets
  // ProgramEnded of a settings error pass; the settings file is then not
  // rewritten.
  Mode Form_Load(const CommandLine& command_line);

  // Handlers of the shown window. A platform failure inside one of them is
  // shown in a message and ends the program with kPlatformFailureStatus;
  // after it no handler does anything more, and nothing is rewritten.
  void Form_Resize();
  void MENU_HELP_Click();
  void MENU_CLEAR_Click();
  // A drop onto the list. `paths` are the files it carries, in its order,
  // as full local paths; empty when it carries none (text, a link, ...).
  void List1_OLEDragDrop(const std::vector<Text>& paths);
  // A drop onto the window outside the list: taken, and nothing changes.
  void Form_OLEDragDrop() {}
  void List1_Click();
  // The user closes the window: Form_Unload, then the view ends with 0.
  void Form_QueryUnload();

  // Rewrites the settings file from the check boxes; when the file changed
  // since start-up, only the options the user changed go into it (see
  // WRITE_back_option). Throws FileError.
  void Form_Unload();

  // The exit status once the view was ended; 0 before.
  int status() const { return status_; }

  const DriveTable& drive_table() const { return drive_table_; }

  // The options as loaded; the check boxes are the live options after start.
  std::int16_t DRIVE_CHG_SET = 0;
  std::int16_t CRLF_SET = 0;
  std::int16_t TAG_SET = 0;

 private:
  void run_command_line(const CommandLine& command_line);
  // The items behind `first` when there are two or more and each names an
  // existing file or folder; else empty.
  std::vector<Text> existing_paths(const CommandLine& command_line, std::size_t first) const;
  // `path` made full against the start folder when it is relative and names
  // something there; else `path` as it is.
  Text full_path(const Text& path) const;
  // Runs a handler under the failure policy.
  void guarded(const std::function<void()>& handler);
  void finish(int status);

  SettingsHost& host_;
  FormView& view_;
  Text program_folder_;
  Text executable_name_;
  const NetworkMounts* mounts_;
  TextView separators_;
  Text start_folder_;
  CheckBoxOptions options_;
  SettingsFiles files_;
  DriveTable drive_table_;
  LoadedOptions at_start_;  // the lines and options read; its drive table is drive_table_
  int status_ = 0;
  bool ended_ = false;
};

// One start of the program on a front end: opens the settings through
// `open_settings` (which may throw FileError, e.g. when no folder for them
// can be had), runs start-up and then, in window mode, the window until it
// is closed. Returns the exit status: 0 when the work is done,
// kSettingsErrorStatus after a settings error, kPlatformFailureStatus after
// a platform failure, which is shown in a message first.
struct ProgramStart {
  CommandLine command_line;
  Text program_folder;
  Text executable_name;
  const NetworkMounts* mounts = nullptr;
  PathFlavour paths = kNativePathFlavour;
  // The working folder before the program moves to its own. Given a default
  // so that starts written without it are not warned of a missing field.
  Text start_folder = {};  // NOLINT(readability-redundant-member-init)
};
int run_program(FormView& view, const std::function<SettingsHost&()>& open_settings,
                const ProgramStart& start);

// Makes `folder` the working folder. Throws PlatformError naming the
// folder and the reason. Each front end brings its own (working_folder.cpp): the
// standard library's one brings a whole file-system library along, which a
// Windows program that links its runtime statically does not want.
void change_to_program_folder(const Text& folder);

// The help text that HELP shows.
Text help_text();

// The marker that makes the command line copy a bare file name.
inline constexpr TextView kFileNameMarker = u"$FILENAME$";

}  // namespace kestrova
