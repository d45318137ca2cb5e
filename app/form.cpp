#include "app/form.h"

#include <string>

#include "app/version.h"

namespace kestrova {

Text help_text() {
  static constexpr TextView pieces[] = {
      u"エクスプローラーのファイルを下の領域にドラッグ＆ドロップした後",
      u"クリックすると、クリップボードにパスがコピーされます。",
      u"（フォーム処理では複数可）　",
      u"ショートカットにドラッグドロップしてもパスがクリップボードにコピーされます。",
      u"（ショートカットにドラッグドロップでも複数可）　",
  };
  Text text;
  for (const TextView piece : pieces) {
    text.append(piece).append(kCrLf);
  }
  return text;
}

namespace {

Text decimal(int number) {
  const std::string digits = std::to_string(number);
  return {digits.begin(), digits.end()};
}

// A message of many paths would outgrow the screen: it shows the first ones,
// each cut to a line's width, and how many there are; the clipboard has all.
constexpr std::size_t kShownPaths = 20;
constexpr std::size_t kShownLineLength = 100;

Text shown_paths(const Text& copied, std::size_t path_count) {
  if (path_count <= kShownPaths && copied.size() <= kShownPaths * kShownLineLength) {
    return copied;
  }
  Text shown;
  std::size_t lines = 0;
  for (std::size_t at = 0; at < copied.size() && lines < kShownPaths; ++lines) {
    std::size_t end = copied.find(kCrLf, at);
    end = end == Text::npos ? copied.size() : end;
    const TextView line = TextView(copied).substr(at, end - at);
    if (line.size() > kShownLineLength) {
      const std::size_t half = kShownLineLength / 2;
      shown.append(line.substr(0, half)).append(u"…").append(line.substr(line.size() - half));
    } else {
      shown.append(line);
    }
    shown.append(kCrLf);
    at = end + kCrLf.size();
  }
  return shown + u"…（全" + decimal(static_cast<int>(path_count)) + u"件）";
}

// One path enclosed in double quotes, as Windows hands over a single path
// that holds a space, loses its quotes before it is split; else the closing
// quote would stay on a name without extension (README"). Anything else is
// left as it is.
Text unquoted(const Text& rest) {
  const Text path = trim(rest);
  if (path.size() >= 2 && path.front() == u'"' && path.find(u'"', 1) == path.size() - 1) {
    return path.substr(1, path.size() - 2);
  }
  return rest;
}

// The file part of a path for the file-name mode. A path without a folder is
// a file name of its own. On POSIX a backslash is part of a name, but a path
// with no slash that begins as a Windows one (C:\..., \\server\...) is split
// at its backslashes: a name that looks so is far likelier a copied path.
Text file_part(const Text& path, TextView separators) {
  TextView split_at = separators;
  if (separators == kPosixPathSeparators && path.find(u'/') == Text::npos) {
    const Text start = trim(path);
    const bool windows_looking =
        (start.size() >= 3 && start[1] == u':' && start[2] == u'\\') || start.starts_with(u"\\\\");
    if (windows_looking) {
      split_at = kWindowsPathSeparators;
    }
  }
  // A folder given with its separator at the end (/tmp/, C:\dir\, the
  // folder a file manager's background hands over) is named by its last
  // part; a root has no name, and rather than copy nothing over the user's
  // clipboard it is copied as it stands.
  Text trimmed = trim(path);
  std::size_t end = trimmed.size();
  while (end > 0 && split_at.find(trimmed[end - 1]) != TextView::npos) {
    --end;
  }
  if (end == trimmed.size()) {
    Text folder;
    Text file = path;
    Phase_PATH(path, folder, file, split_at);
    return file;
  }
  const Text named = trimmed.substr(0, end);
  if (named.empty() || (named.find_first_of(split_at) == Text::npos && named.back() == u':')) {
    return trimmed;  // "/", "C:\"
  }
  return file_part(named, separators);
}

// A clear of the clipboard that waits until its handler shows whether a copy
// follows. A copy then replaces the old text in one step, so that nobody ever
// sees the clipboard empty in between: a clipboard manager that refills an
// empty clipboard would otherwise put its last entry back over the copy.
// Without a copy, or when the copy fails, the clear is carried out all the
// same, at the end of the handler or on its way out; not after a copy that
// another program took over, whose text it would wipe.
class ClipboardChange {
 public:
  explicit ClipboardChange(FormView& view) : view_(view) {}
  ClipboardChange(const ClipboardChange&) = delete;
  ClipboardChange& operator=(const ClipboardChange&) = delete;
  ~ClipboardChange() {
    if (!pending_) {
      return;
    }
    try {
      view_.clear_clipboard();
    } catch (const std::exception&) {  // NOLINT(bugprone-empty-catch)
      // The failure already on its way is the one to report; a destructor
      // that threw while it unwinds would end the program.
    }
  }

  void clear() { pending_ = true; }
  void set(const Text& text) {
    try {
      view_.set_clipboard_text(text);
    } catch (const CopyTakenOver&) {
      // The clear was to make room for our copy; another program's text
      // stands there now, newer than either.
      pending_ = false;
      throw;
    }
    pending_ = false;
  }
  // The end of the handler: a clear no copy replaced happens now.
  void done() {
    if (pending_) {
      pending_ = false;
      view_.clear_clipboard();
    }
  }

 private:
  FormView& view_;
  bool pending_ = false;
};

}  // namespace

CommandLine command_line_from_arguments(std::vector<Text> arguments) {
  CommandLine line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    line.text.append(i == 0 ? u"" : u" ").append(arguments[i]);
  }
  line.items = std::move(arguments);
  return line;
}

CommandLine command_line_from_argv(int argc, const char* const* argv) {
  std::vector<Text> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.push_back(from_utf8(argv[i]));
  }
  return command_line_from_arguments(std::move(arguments));
}

CommandLine command_line_from_tail(Text tail) {
  CommandLine line;
  const auto blank = [&tail](std::size_t at) { return tail[at] == u' ' || tail[at] == u'\t'; };
  std::size_t at = 0;
  for (;;) {
    while (at < tail.size() && blank(at)) {
      ++at;
    }
    if (at == tail.size()) {
      break;
    }
    Text item;
    int quotes = 0;  // 1 inside quotes; 2 just after a closing one
    std::size_t backslashes = 0;
    while (at < tail.size() && (quotes != 0 || !blank(at))) {
      const char16_t unit = tail[at++];
      if (unit != u'"') {
        item += unit;
        backslashes = unit == u'\\' ? backslashes + 1 : 0;
        continue;
      }
      // 2n backslashes and a quote: n backslashes, and the quote groups;
      // 2n + 1 and a quote: n backslashes and the quote itself.
      item.resize(item.size() - backslashes / 2);
      if (backslashes % 2 == 1) {
        item.back() = u'"';
      } else {
        ++quotes;
      }
      backslashes = 0;
      // Quotes in a row: every third one is kept.
      for (; at < tail.size() && tail[at] == u'"'; ++at) {
        if (++quotes == 3) {
          item += u'"';
          quotes = 0;
        }
      }
      if (quotes == 2) {
        quotes = 0;
      }
    }
    line.items.push_back(std::move(item));
  }
  line.text = std::move(tail);
  return line;
}

oledrag_form::oledrag_form(SettingsHost& host, FormView& view, Text program_folder, Text executable_name,
                           const NetworkMounts* mounts, PathFlavour paths, Text start_folder)
    : host_(host),
      view_(view),
      program_folder_(std::move(program_folder)),
      executable_name_(std::move(executable_name)),
      mounts_(mounts),
      separators_(paths == PathFlavour::kWindows ? kWindowsPathSeparators : kPosixPathSeparators),
      start_folder_(std::move(start_folder)),
      options_(view) {}

oledrag_form::Mode oledrag_form::Form_Load(const CommandLine& command_line) {
  change_to_program_folder(program_folder_);
  files_ = FIND_option_file(host_);
  view_.set_caption(view_.caption() + u"  " + executable_name_ + u"   " + u"Version:" +
                    decimal(KESTROVA_VERSION_MAJOR) + u"." + decimal(KESTROVA_VERSION_MINOR) + u"." +
                    decimal(KESTROVA_VERSION_PATCH));
  MAKE_default_option(host_, files_);
  at_start_ = get_option(host_, files_);
  DRIVE_CHG_SET = at_start_.DRIVE_CHG_SET;
  CRLF_SET = at_start_.CRLF_SET;
  TAG_SET = at_start_.TAG_SET;
  drive_table_ = std::move(at_start_.drive_table);

  view_.set_checked(CheckBox::TAG, TAG_SET == 1);
  view_.set_checked(CheckBox::CRLF, CRLF_SET == 1);
  view_.set_checked(CheckBox::drive, DRIVE_CHG_SET == 1);

  if (command_line.text.empty()) {
    return Mode::Window;
  }
  run_command_line(command_line);
  return Mode::CommandLine;
}

std::vector<Text> oledrag_form::existing_paths(const CommandLine& command_line, std::size_t first) const {
  const std::vector<Text>& items = command_line.items;
  if (items.size() < first + 2) {
    return {};
  }
  std::vector<Text> paths;
  for (std::size_t i = first; i < items.size(); ++i) {
    paths.push_back(full_path(items[i]));
    if (!host_.path_exists(paths.back())) {
      return {};
    }
  }
  return paths;
}

Text oledrag_form::full_path(const Text& path) const {
  const bool windows = separators_ == kWindowsPathSeparators;
  // Full already: "/..." on POSIX; "C:...", "\\..." (and "\..." of the
  // current drive, which is the program's by now) on Windows.
  const bool relative = !path.empty() && !start_folder_.empty() &&
                        (windows ? path[0] != u'\\' && path[0] != u'/' && (path.size() < 2 || path[1] != u':')
                                 : path[0] != u'/');
  if (!relative) {
    return path;
  }
  // "." and doubled separators go; ".." stays, for the system to read as it
  // would (through a link, on POSIX), and links are not resolved.
  const TextView split_at = windows ? TextView(u"\\/") : kPosixPathSeparators;
  const char16_t separator = separators_.front();
  Text full = start_folder_;
  for (std::size_t at = 0; at <= path.size();) {
    std::size_t end = path.find_first_of(split_at, at);
    end = end == Text::npos ? path.size() : end;
    const TextView part = TextView(path).substr(at, end - at);
    if (!part.empty() && part != u".") {
      if (full.back() != separator) {
        full += separator;
      }
      full.append(part);
    }
    at = end + 1;
  }
  return full != start_folder_ && host_.path_exists(full) ? full : path;
}

void oledrag_form::run_command_line(const CommandLine& command_line) {
  ClipboardChange clipboard(view_);
  clipboard.clear();
  const Text& text = command_line.text;
  Text copied;
  Text shown;  // what the message says after "CLIPBOAD COPIED="
  bool names_only = false;
  const bool marker_first = !command_line.items.empty() && command_line.items.front() == kFileNameMarker;
  std::vector<Text> paths = existing_paths(command_line, marker_first ? 1 : 0);
  if (marker_first && !paths.empty()) {
    names_only = true;
    for (std::size_t i = 0; i < paths.size(); ++i) {
      Text base;
      Text extension;
      Phase_file_name(file_part(paths[i], separators_), base, extension);
      copied.append(i == 0 ? u"" : kCrLf).append(base);
    }
    shown = shown_paths(copied, paths.size());
  } else if (!paths.empty()) {
    // Exactly what a click on these paths, all selected in the list, copies.
    std::vector<SelectedEntry> entries;
    entries.reserve(paths.size());
    for (Text& path : paths) {
      entries.push_back({entries.size(), std::move(path)});
    }
    copied = clip_text_for_selection(entries, entries.size(), drive_table_, options_, mounts_);
    shown = shown_paths(copied, entries.size());
  } else if (const auto marker = text.find(kFileNameMarker); marker != Text::npos) {
    names_only = true;
    const Text rest = unquoted(text.substr(marker + kFileNameMarker.size()));
    Text extension;
    Phase_file_name(file_part(rest, separators_), copied, extension);
    shown = copied;
  } else {
    // One path relative to where the program was started: its full path,
    // edited as any path is. Text that names nothing is copied as given.
    const Text path = trim(unquoted(text));
    const Text full = full_path(path);
    copied = full != path ? full : text;
    EDIT_CLIP(copied, 0, 0, drive_table_, options_, mounts_);
    shown = copied;
  }
  clipboard.set(copied);
  // Where a copy must answer the user's input, the file-name mode shows the
  // message too: its OK is the input that makes the copy hold.
  const bool confirm = view_.copy_needs_user_input();
  if (!names_only || confirm) {
    bool copied_again = false;
    std::function<void()> copy_again;
    if (confirm) {
      copy_again = [this, &copied, &copied_again] {
        view_.set_clipboard_text(copied);
        copied_again = true;
      };
    }
    view_.show_message(Text(u"CLIPBOAD COPIED=") + shown, copy_again);
    if (confirm && !copied_again) {
      // Closed without OK (by the desktop, say): the first copy had no input
      // to answer and did not hold, and nothing may stay behind serving it.
      view_.clear_clipboard();
    }
  }
  Form_Unload();
  finish(0);
}

void oledrag_form::Form_Resize() {
  guarded([this] {
    // The rule works on the outer size, frame and menu bar included; the
    // height is read only after the list has its width, since setting that
    // may change the window.
    view_.set_list_width_twips(static_cast<float>(view_.outer_width_twips() * 0.9));
    view_.set_list_height_twips(static_cast<float>(view_.outer_height_twips() * 0.6));
  });
}

void oledrag_form::MENU_HELP_Click() {
  guarded([this] { view_.show_message(help_text()); });
}

void oledrag_form::MENU_CLEAR_Click() {
  // Clearing selects nothing; that is no click, so the clipboard stays.
  guarded([this] { view_.clear_list(); });
}

void oledrag_form::List1_OLEDragDrop(const std::vector<Text>& paths) {
  guarded([&] {
    if (paths.empty()) {
      view_.show_message(u"無選択です");
      return;
    }
    std::vector<Text> entries = paths;
    if (drive_table_.DRIVE_CHG_cnt > 0 && options_.Check_drive() == 1) {
      // One look at the system's mounts serves the whole drop.
      const NetworkMountsOnce mounts(mounts_);
      for (Text& entry : entries) {
        entry = DRIVE_CHG_edit(drive_table_, entry, mounts);
      }
    }
    // A drop writes from the top: existing entries are replaced, the rest
    // added after them.
    view_.write_list_entries(0, entries);
  });
}

void oledrag_form::List1_Click() {
  guarded([this] {
    ClipboardChange clipboard(view_);
    clipboard.clear();
    const std::size_t count = view_.list_count();
    if (count == 0) {
      clipboard.done();
      return;
    }
    std::vector<SelectedEntry> entries;
    for (const std::size_t index : view_.selected_entries()) {
      entries.push_back({index, view_.list_entry(index)});
    }
    clipboard.set(clip_text_for_selection(entries, count, drive_table_, options_, mounts_));
  });
}

void oledrag_form::Form_Unload() { WRITE_back_option(host_, files_, options_, &at_start_); }

void oledrag_form::Form_QueryUnload() {
  guarded([this] {
    Form_Unload();
    finish(0);
  });
}

void oledrag_form::guarded(const std::function<void()>& handler) {
  if (ended_) {
    return;
  }
  try {
    handler();
  } catch (const std::exception& failure) {
    // Nothing more is done after a failure: above all, the settings file is
    // not rewritten from a state that may be incomplete.
    ended_ = true;
    view_.show_failure(from_utf8(failure.what()));
    finish(dynamic_cast<const NotAFileError*>(&failure) != nullptr ? kSettingsErrorStatus
                                                                   : kPlatformFailureStatus);
  }
}

void oledrag_form::finish(int status) {
  ended_ = true;
  status_ = status;
  view_.end(status);
}

int run_program(FormView& view, const std::function<SettingsHost&()>& open_settings,
                const ProgramStart& start) {
  try {
    oledrag_form form(open_settings(), view, start.program_folder, start.executable_name, start.mounts,
                      start.paths, start.start_folder);
    view.attach(&form);
    struct Detach {
      FormView& view;
      ~Detach() { view.attach(nullptr); }
    } detach{view};
    if (form.Form_Load(start.command_line) == oledrag_form::Mode::Window) {
      view.show_and_run();
    }
    return form.status();
  } catch (const ProgramEnded& ended) {
    view.end(ended.status);
    return ended.status;
  } catch (const NotAFileError& refused) {
    // The user's own settings in the way: a settings error, not the system's.
    view.show_failure(from_utf8(refused.what()));
    view.end(kSettingsErrorStatus);
    return kSettingsErrorStatus;
  } catch (const std::exception& failure) {
    view.show_failure(from_utf8(failure.what()));
    view.end(kPlatformFailureStatus);
    return kPlatformFailureStatus;
  }
}

}  // namespace kestrova
