// An in-memory window for tests of the window's behaviour: it records the
// caption, the check boxes, the list, the clipboard and every message, and
// can be told to refuse the clipboard.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "app/form.h"

namespace kestrova::testing {

class FakeView : public FormView {
 public:
  Text caption_text = u"Kestrova";
  std::array<int, 3> checks{};  // indexed by CheckBox
  std::vector<Text> list;
  std::set<std::size_t> selected;
  std::optional<Text> clipboard;  // nullopt: cleared
  // Every clipboard call in order: u"clear", u"set " + text, u"refused", u"taken".
  std::vector<Text> clipboard_calls;
  bool refuse_clipboard = false, refuse_clear = false;
  bool take_over = false;  // another program replaces every copy at once
  bool needs_user_input = false;
  std::vector<Text> messages;
  bool press_ok = true;  // runs a message's on_ok, as pressing OK would
  double outer_width = 0, outer_height = 0;
  float list_width = 0, list_height = 0;
  std::optional<int> ended;
  bool shown = false;
  oledrag_form* form = nullptr;
  // What the user does while the window is shown.
  std::function<void(oledrag_form&)> while_shown;
  std::function<void()> during_message;  // what the user does while a message is up, once

  Text caption() const override { return caption_text; }
  void set_caption(const Text& text) override { caption_text = text; }
  int check_state(CheckBox box) const override { return checks[static_cast<std::size_t>(box)]; }
  void set_checked(CheckBox box, bool ticked) override { checks[static_cast<std::size_t>(box)] = ticked ? 1 : 0; }
  std::size_t list_count() const override { return list.size(); }
  Text list_entry(std::size_t index) const override { return list.at(index); }
  void write_list_entry(std::size_t index, const Text& text) override {
    // Past the end throws, as a real list refuses it.
    index == list.size() ? list.push_back(text) : void(list.at(index) = text);
  }
  void clear_list() override { list.clear(); selected.clear(); }
  std::vector<std::size_t> selected_entries() const override { return {selected.begin(), selected.end()}; }
  double outer_width_twips() const override { return outer_width; }
  double outer_height_twips() const override { return outer_height; }
  void set_list_width_twips(float width) override { list_width = width; }
  void set_list_height_twips(float height) override { list_height = height; }
  void clear_clipboard() override {
    if (refuse_clear) { throw PlatformError("cannot clear the clipboard: refused"); }
    clipboard.reset();
    clipboard_calls.push_back(u"clear");
  }
  void set_clipboard_text(const Text& text) override {
    clipboard_calls.push_back(take_over ? u"taken" : refuse_clipboard ? u"refused" : u"set " + text);
    if (take_over) {
      throw CopyTakenOver("cannot set the clipboard: another program put something else on it at once");
    }
    if (refuse_clipboard) { throw PlatformError("cannot set the clipboard: refused"); }
    clipboard = text;
  }
  bool copy_needs_user_input() const override { return needs_user_input; }
  void show_message(const Text& text, const std::function<void()>& on_ok) override {
    messages.push_back(text);
    if (during_message) { std::exchange(during_message, nullptr)(); }
    if (press_ok && on_ok) { on_ok(); }
  }
  void attach(oledrag_form* attached) override { form = attached; }
  void show_and_run() override {
    shown = true;
    if (while_shown && form != nullptr) { while_shown(*form); }
  }
  void end(int status) override { ended = status; }
};

}  // namespace kestrova::testing
