#include "app/linux/windowless.h"

#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/form.h"
#include "app/linux/handed_copy.h"
#include "app/linux/network_mounts.h"
#include "app/linux/posix_file_host.h"
#include "app/linux/qt/qt_module.h"
#include "app/linux/selection.h"

namespace kestrova {

namespace {

struct QtModule {
  kestrova_qt_main_fn main = nullptr;
  kestrova_qt_window_fn window = nullptr;
  kestrova_qt_finish_fn finish = nullptr;
};

std::string executable_path(const char* argv0);

// Whether a keeper forked from this process stays small: it would keep
// this process's heap (the settings read, above all) once this process has
// ended. A usual start's heap is a few hundred kilobytes.
bool small_enough_to_fork() {
  constexpr std::size_t kMostHeap = std::size_t{3} << 19;  // 1.5 MB
  const struct mallinfo2 heap = mallinfo2();
  return heap.arena + heap.hblkhd <= kMostHeap;
}

// Beside the program (the build folder, or a copy of a built program with
// its module), in the package's library folder (installed), or along the
// system's library path.
void* open_module() {
  const std::string executable = executable_path("");
  const std::string folder = executable.substr(0, executable.rfind('/') + 1);
  for (const std::string& name :
       {folder + "kestrova-qt.so", folder + KESTROVA_MODULE_FROM_BIN "/kestrova-qt.so",
        std::string("kestrova-qt.so")}) {
    if (name.find('/') != std::string::npos && access(name.c_str(), F_OK) != 0) {
      continue;
    }
    if (void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      return handle;
    }
  }
  return nullptr;
}

const QtModule& qt_module() {
  static const QtModule module = [] {
    void* handle = open_module();
    QtModule loaded;
    if (handle != nullptr) {
      loaded.main = reinterpret_cast<kestrova_qt_main_fn>(dlsym(handle, "kestrova_qt_main"));
      loaded.window = reinterpret_cast<kestrova_qt_window_fn>(dlsym(handle, "kestrova_qt_window"));
      loaded.finish = reinterpret_cast<kestrova_qt_finish_fn>(dlsym(handle, "kestrova_qt_finish"));
    }
    if (loaded.main == nullptr || loaded.window == nullptr || loaded.finish == nullptr) {
      throw PlatformError(std::string("cannot load the program's window part: ") + dlerror());
    }
    return loaded;
  }();
  return module;
}

// The window's state until Qt is needed; from then on the Qt window's.
class WindowlessView final : public FormView {
 public:
  // `clipboard` keeps every copy, those of the window too.
  WindowlessView(char* program_path, const Clipboard& clipboard)
      : program_path_(program_path), clipboard_(*clipboard.keeper), route_(clipboard.route) {}

  Text caption() const override { return window_ != nullptr ? window_->caption() : caption_; }
  void set_caption(const Text& caption) override {
    if (window_ != nullptr) {
      window_->set_caption(caption);
    } else {
      caption_ = caption;
    }
  }
  int check_state(CheckBox box) const override {
    return window_ != nullptr ? window_->check_state(box) : checked_[static_cast<int>(box)];
  }
  void set_checked(CheckBox box, bool ticked) override {
    if (window_ != nullptr) {
      window_->set_checked(box, ticked);
    } else {
      checked_[static_cast<int>(box)] = ticked ? 1 : 0;
    }
  }

  std::size_t list_count() const override { return window().list_count(); }
  Text list_entry(std::size_t index) const override { return window().list_entry(index); }
  void write_list_entry(std::size_t index, const Text& text) override {
    window().write_list_entry(index, text);
  }
  void write_list_entries(std::size_t first, const std::vector<Text>& texts) override {
    window().write_list_entries(first, texts);
  }
  void clear_list() override { window().clear_list(); }
  std::vector<std::size_t> selected_entries() const override { return window().selected_entries(); }
  double outer_width_twips() const override { return window().outer_width_twips(); }
  double outer_height_twips() const override { return window().outer_height_twips(); }
  void set_list_width_twips(float width) override { window().set_list_width_twips(width); }
  void set_list_height_twips(float height) override { window().set_list_height_twips(height); }

  // Once Qt runs in this process, its keepers are started afresh (Qt's
  // threads and pages are no keeper's business), and so are those of a
  // start that has grown with a large settings file: a keeper forked from
  // it would hold all of that for as long as it serves.
  void clear_clipboard() override {
    if (window_ != nullptr) {
      clear_in_fresh_process(route_);
    } else {
      clipboard_.clear();
    }
  }
  void set_clipboard_text(const Text& text) override {
    if (window_ != nullptr || !small_enough_to_fork()) {
      copy_in_fresh_process(route_, text);
    } else {
      clipboard_.copy(text);
    }
  }

  void show_message(const Text& text, const std::function<void()>& on_ok) override {
    if (!can_show()) {
      say(text);
      if (on_ok) {
        on_ok();
      }
      return;
    }
    window().show_message(text, on_ok);
  }
  void show_failure(const Text& text) override {
    if (!can_show()) {
      say(text);
      return;
    }
    window().show_failure(text);
  }
  void attach(oledrag_form* form) override {
    form_ = form;
    if (window_ != nullptr) {
      window_->attach(form);
    }
  }
  void show_and_run() override { window().show_and_run(); }
  void end(int status) override {
    if (window_ != nullptr) {
      window_->end(status);
    }
  }

  // The end of the start: through Qt's clipboard keeper once Qt runs.
  int finish(int status) {
    std::fflush(nullptr);
    return window_ != nullptr ? qt_module().finish(status) : status;
  }

 private:
  // Where nothing can be shown (started over ssh, from a service, with a
  // display that has gone), what a box would have said goes to the terminal.
  bool can_show() const {
    if (!display_.has_value()) {
      display_ = window_ != nullptr || display_for_qt(session_from_environment());
    }
    return *display_;
  }
  static void say(const Text& text) {
    std::fprintf(stderr, "kestrova: %s\n", to_utf8(text).c_str());
    std::fflush(stderr);
  }

  FormView& window() const {
    if (window_ == nullptr) {
      if (!can_show()) {
        throw PlatformError(kNoDisplay);
      }
      FormView* made = qt_module().window(program_path_);
      made->set_caption(caption_);
      for (const CheckBox box : {CheckBox::TAG, CheckBox::CRLF, CheckBox::drive}) {
        made->set_checked(box, checked_[static_cast<int>(box)] == 1);
      }
      made->attach(form_);
      window_ = made;
    }
    return *window_;
  }

  char* program_path_;
  SelectionKeeper& clipboard_;
  ClipboardRoute route_;
  Text caption_ = u"Kestrova";
  int checked_[3] = {};
  oledrag_form* form_ = nullptr;
  mutable FormView* window_ = nullptr;
  mutable std::optional<bool> display_;
};

class WindowlessHost final : public PosixFileHost {
 public:
  WindowlessHost(std::string folder, FormView& view) : PosixFileHost(std::move(folder)), view_(view) {}
  // The settings code shows only errors that end the program.
  void show_message(const Text& text) override { view_.show_failure(text); }

 private:
  FormView& view_;
};

std::string executable_path(const char* argv0) {
  char path[PATH_MAX];
  const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
  if (size > 0) {
    return {path, static_cast<std::size_t>(size)};
  }
  char* resolved = realpath(argv0, nullptr);
  std::string found = resolved != nullptr ? resolved : argv0;
  std::free(resolved);
  return found;
}

}  // namespace

int run_windowless(int argc, char** argv, const Clipboard& clipboard) {
  const std::string executable = executable_path(argv[0]);
  const std::size_t slash = executable.rfind('/');
  const std::string program_folder = slash == 0 ? "/" : executable.substr(0, slash);
  // A compositor's data control serves the window's copies too: a Wayland
  // program then gets them whichever window is active. On X11 the window's
  // last copy is kept as small as the command line's.
  WindowlessView view(argv[0], clipboard);
  const ProcNetworkMounts mounts;
  std::unique_ptr<WindowlessHost> host;
  const auto open_settings = [&]() -> SettingsHost& {
    host = std::make_unique<WindowlessHost>(settings_folder_of(program_folder), view);
    return *host;
  };
  const int status = run_program(
      view, open_settings,
      {command_line_from_argv(argc, argv), from_utf8(program_folder), from_utf8(executable.substr(slash + 1)),
       &mounts, kNativePathFlavour, from_utf8(start_folder())});
  return view.finish(status);
}

int run_on_qt(int argc, char** argv) { return qt_module().main(argc, argv); }

}  // namespace kestrova
