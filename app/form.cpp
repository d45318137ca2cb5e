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
      u"（ショートカットにドラッグドロップでは複数不可）　",
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

}  // namespace

oledrag_form::oledrag_form(SettingsHost& host, FormView& view, Text program_folder, Text executable_name,
                           const NetworkMounts* mounts)
    : host_(host),
      view_(view),
      program_folder_(std::move(program_folder)),
      executable_name_(std::move(executable_name)),
      mounts_(mounts),
      options_(view) {}

oledrag_form::Mode oledrag_form::Form_Load(const Text& command_line) {
  change_to_program_folder(program_folder_);
  files_ = FIND_option_file(host_);
  view_.set_caption(view_.caption() + u"  " + executable_name_ + u"   " + u"Version:" +
                    decimal(KESTROVA_VERSION_MAJOR) + u"." + decimal(KESTROVA_VERSION_MINOR) + u"." +
                    decimal(KESTROVA_VERSION_PATCH));
  MAKE_default_option(host_, files_);
  LoadedOptions loaded = get_option(host_, files_);
  DRIVE_CHG_SET = loaded.DRIVE_CHG_SET;
  CRLF_SET = loaded.CRLF_SET;
  TAG_SET = loaded.TAG_SET;
  drive_table_ = std::move(loaded.drive_table);

  view_.set_checked(CheckBox::TAG, TAG_SET == 1);
  view_.set_checked(CheckBox::CRLF, CRLF_SET == 1);
  view_.set_checked(CheckBox::drive, DRIVE_CHG_SET == 1);

  if (command_line.empty()) {
    return Mode::Window;
  }
  run_command_line(command_line);
  return Mode::CommandLine;
}

void oledrag_form::run_command_line(const Text& command_line) {
  view_.clear_clipboard();
  const auto marker = command_line.find(kFileNameMarker);
  Text copied;
  if (marker != Text::npos) {
    const Text rest = command_line.substr(marker + kFileNameMarker.size());
    Text folder;
    Text file;
    Text extension;
    Phase_PATH(rest, folder, file);
    Phase_file_name(file, copied, extension);
  } else {
    copied = command_line;
    EDIT_CLIP(copied, 0, 0, drive_table_, options_, mounts_);
  }
  view_.set_clipboard_text(copied);
  // Where a copy must answer the user's input, the file-name mode shows the
  // message too: its OK is the input that makes the copy hold.
  const bool confirm = view_.copy_needs_user_input();
  if (marker == Text::npos || confirm) {
    bool copied_again = false;
    std::function<void()> copy_again;
    if (confirm) {
      copy_again = [this, &copied, &copied_again] {
        view_.set_clipboard_text(copied);
        copied_again = true;
      };
    }
    view_.show_message(Text(u"CLIPBOAD COPIED=") + copied, copy_again);
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
    view_.clear_clipboard();
    const std::size_t count = view_.list_count();
    if (count == 0) {
      return;
    }
    std::vector<SelectedEntry> entries;
    for (const std::size_t index : view_.selected_entries()) {
      entries.push_back({index, view_.list_entry(index)});
    }
    view_.set_clipboard_text(clip_text_for_selection(entries, count, drive_table_, options_, mounts_));
  });
}

void oledrag_form::Form_Unload() { WRITE_back_option(host_, files_, options_); }

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
    finish(kPlatformFailureStatus);
  }
}

void oledrag_form::finish(int status) {
  ended_ = true;
  status_ = status;
  view_.end(status);
}

int run_program(FormView& view, const std::function<SettingsHost&()>& open_settings, const ProgramStart& start) {
  try {
    oledrag_form form(open_settings(), view, start.program_folder, start.executable_name, start.mounts);
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
  } catch (const std::exception& failure) {
    view.show_failure(from_utf8(failure.what()));
    view.end(kPlatformFailureStatus);
    return kPlatformFailureStatus;
  }
}

}  // namespace kestrova
