// The window of the Windows program: a plain Win32 top-level window with
// the list, the three check boxes and the two menu commands, laid out from
// twips at the window's DPI. It maps the window's messages onto the handlers
// of oledrag_form and implements what the behaviour asks of its window.
#pragma once

#include <windows.h>

#include <deque>

#include "app/form.h"
#include "app/win32/handle.h"

namespace kestrova::win32 {

class DropTarget;

class Win32View final : public FormView {
 public:
  // The window is created hidden when first needed; `title` names the
  // message boxes.
  Win32View(HINSTANCE instance, Text title);
  ~Win32View() override;
  Win32View(const Win32View&) = delete;
  Win32View& operator=(const Win32View&) = delete;

  Text caption() const override;
  void set_caption(const Text& caption) override;
  int check_state(CheckBox box) const override;
  void set_checked(CheckBox box, bool ticked) override;
  std::size_t list_count() const override;
  Text list_entry(std::size_t index) const override;
  void write_list_entry(std::size_t index, const Text& text) override;
  void clear_list() override;
  std::vector<std::size_t> selected_entries() const override;
  double outer_width_twips() const override;
  double outer_height_twips() const override;
  void set_list_width_twips(float width) override;
  void set_list_height_twips(float height) override;
  void clear_clipboard() override;
  void set_clipboard_text(const Text& text) override;
  void show_message(const Text& text, const std::function<void()>& on_ok) override;
  void attach(oledrag_form* form) override { form_ = form; }
  void show_and_run() override;
  void end(int status) override;

 private:
  struct Drop {
    POINT where;
    std::vector<Text> paths;
  };

  static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  HWND ensure_window() const;
  void create_window();
  HWND clipboard_owner();
  void create_controls(HINSTANCE instance);
  // Positions, designed sizes and font for the current DPI.
  void scale_to_dpi(UINT dpi);
  void deliver_drop();
  int pixels(double twips) const;
  int list_item_height() const;
  void draw_list_entry(const DRAWITEMSTRUCT& item) const;
  HWND box(CheckBox which) const { return pick_check_box(which, Check_CRLF, Check_drive, Check_TAG); }
  LRESULT colour_check_box(HDC dc, HWND control) const;

  HINSTANCE instance_;
  Text title_;
  // The caption and the check boxes while there is no window.
  Text caption_ = u"Kestrova";
  int checked_[3] = {};
  HWND window_ = nullptr;
  HWND message_window_ = nullptr;
  // Controls, under the names the program has always given them.
  HWND List1 = nullptr;
  HWND Check_CRLF = nullptr;
  HWND Check_drive = nullptr;
  HWND Check_TAG = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  GdiObject<HFONT> font_;
  GdiObject<HBRUSH> list_brush_;
  DropTarget* drop_target_ = nullptr;
  std::deque<Drop> drops_;
  oledrag_form* form_ = nullptr;
  bool ended_ = false;
};

}  // namespace kestrova::win32
