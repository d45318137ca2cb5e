#include "app/win32/view.h"

#include <commctrl.h>
#include <dwmapi.h>

#include <cmath>

#include "app/contrast.h"
#include "app/win32/clipboard.h"
#include "app/win32/drop_target.h"
#include "app/win32/text.h"

namespace kestrova::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"Kestrova.oledrag_form";
constexpr UINT kDeliverDrop = WM_APP + 1;

enum ControlId : int { kList1 = 100, kCheckCRLF, kCheckDrive, kCheckTAG, MENU_HELP = 200, MENU_CLEAR };

// The window and its controls as designed, in twips.
constexpr int kClientWidth = 8070;
constexpr int kClientHeight = 3930;
constexpr COLORREF kLightCyan = RGB(192, 255, 255);

struct Placement {
  CheckBox box;
  int left, top, width, height;
  int colour;  // system colour index of its background
};
constexpr Placement kCheckBoxes[] = {
    {CheckBox::CRLF, 240, 480, 1575, 255, COLOR_3DHILIGHT},
    {CheckBox::TAG, 4320, 480, 2415, 255, COLOR_3DHILIGHT},
    {CheckBox::drive, 2160, 480, 1815, 255, COLOR_ACTIVECAPTION},
};
constexpr RECT kList1Rect{120, 1200, 120 + 7455, 1200 + 2400};

[[noreturn]] void fail(const char* what) {
  throw PlatformError(std::string("cannot ") + what + ": " + windows_reason(GetLastError()));
}

// The window manager's attribute that draws a window's title bar dark
// (Windows 10 20H1 and later; older ones ignore it).
constexpr DWORD kUseImmersiveDarkMode = 20;

// The user's choice of dark mode for programs (Settings, Personalisation,
// Colours). Only the title bar follows it: Windows gives a plain Win32
// program's controls no dark drawing, and the client keeps the system
// colours, whose texts are chosen for contrast below.
void follow_dark_mode(HWND window) {
  DWORD light = 1;
  DWORD size = sizeof light;
  RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
               L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size);
  const BOOL dark = light == 0 ? TRUE : FALSE;
  DwmSetWindowAttribute(window, kUseImmersiveDarkMode, &dark, sizeof dark);
}

Rgb rgb_of(COLORREF colour) { return {GetRValue(colour), GetGValue(colour), GetBValue(colour)}; }

// `preferred` where it is legible on `background`, else black or white,
// whichever reads better.
COLORREF text_on(COLORREF background, COLORREF preferred = RGB(0, 0, 0)) {
  const Rgb text = legible_on(rgb_of(background), rgb_of(preferred));
  return RGB(text.red, text.green, text.blue);
}

}  // namespace

Win32View::Win32View(HINSTANCE instance, Text title) : instance_(instance), title_(std::move(title)) {}

HWND Win32View::ensure_window() const {
  // Made on first need only: a copy from the command line never needs it,
  // and under Wine the window and its controls were most of such a start.
  if (window_ == nullptr && !ended_) {
    const_cast<Win32View*>(this)->create_window();
  }
  return window_;
}

void Win32View::create_window() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &Win32View::window_proc;
  window_class.hInstance = instance_;
  window_class.hIcon = LoadIconW(instance_, L"IDI_ICON1");
  window_class.hIconSm =
      static_cast<HICON>(LoadImageW(instance_, L"IDI_ICON1", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                    GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  window_class.lpszClassName = kWindowClass;
  if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    fail("register the window class");
  }
  HMENU menu = CreateMenu();
  AppendMenuW(menu, MF_STRING, MENU_HELP, L"HELP");
  AppendMenuW(menu, MF_STRING, MENU_CLEAR, L"CLEAR");
  HWND window = CreateWindowExW(0, kWindowClass, wide(caption_), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu, instance_, this);
  if (window == nullptr) {
    DestroyMenu(menu);
    fail("create the window");
  }
  window_ = window;
  follow_dark_mode(window_);
  list_brush_.reset(CreateSolidBrush(kLightCyan));
  // The manifest asks for the version-6 controls; they are registered here,
  // before the first is made.
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  create_controls(instance_);
  for (const CheckBox which : {CheckBox::TAG, CheckBox::CRLF, CheckBox::drive}) {
    SendMessageW(box(which), BM_SETCHECK,
                 checked_[static_cast<int>(which)] == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  scale_to_dpi(GetDpiForWindow(window_));
}

HWND Win32View::clipboard_owner() {
  if (window_ != nullptr) {
    return window_;
  }
  // The clipboard wants an owning window; without the program's own, a
  // message-only one that shows nothing.
  if (message_window_ == nullptr) {
    message_window_ =
        CreateWindowExW(0, L"Message", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_, nullptr);
    if (message_window_ == nullptr) {
      fail("open the clipboard");
    }
  }
  return message_window_;
}

Win32View::~Win32View() {
  if (window_ != nullptr) {
    DestroyWindow(window_);
  }
  if (message_window_ != nullptr) {
    DestroyWindow(message_window_);
  }
  if (drop_target_ != nullptr) {
    drop_target_->Release();
  }
}

void Win32View::create_controls(HINSTANCE instance) {
  const auto make = [&](const wchar_t* kind, const wchar_t* caption, DWORD style, int id) {
    HWND control =
        CreateWindowExW(0, kind, caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 0, 0, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (control == nullptr) {
      fail("create the window's controls");
    }
    return control;
  };
  // What the list holds, for screen readers instead of a bare "list"
  // (Japanese like the check boxes' captions): Windows names a list box
  // after the static label just before it, Wine after its own text, which a
  // list box never shows. The label has no size: the window shows neither.
  constexpr const wchar_t* kListName = L"ドロップしたファイルのパス";
  if (CreateWindowExW(0, L"STATIC", kListName, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_, nullptr, instance,
                      nullptr) == nullptr) {
    fail("create the window's controls");
  }
  // Creation order is tab order: the list, then CRLF, TAG, drive.
  List1 =
      make(L"LISTBOX", kListName,
           WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_EXTENDEDSEL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
               LBS_OWNERDRAWFIXED | LBS_HASSTRINGS,
           kList1);
  Check_CRLF = make(L"BUTTON", L"CRLFをつける", BS_AUTOCHECKBOX, kCheckCRLF);
  Check_TAG = make(L"BUTTON", L"タグ<　>を前後につける", BS_AUTOCHECKBOX, kCheckTAG);
  Check_drive = make(L"BUTTON", L"DRIVE-CHG有効", BS_AUTOCHECKBOX, kCheckDrive);
}

int Win32View::list_item_height() const {
  HDC dc = GetDC(List1);
  HGDIOBJ old = SelectObject(dc, font_.get() != nullptr ? font_.get() : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(List1, dc);
  return metrics.tmHeight > 0 ? metrics.tmHeight : pixels(240);
}

// The list draws its own entries: the system's selection colours are not
// legible together in every theme (white on Wine's light blue, 3:1).
void Win32View::draw_list_entry(const DRAWITEMSTRUCT& item) const {
  if (item.itemID != static_cast<UINT>(-1)) {
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const COLORREF background = selected ? GetSysColor(COLOR_HIGHLIGHT) : kLightCyan;
    SetBkColor(item.hDC, background);
    SetTextColor(item.hDC,
                 selected ? text_on(background, GetSysColor(COLOR_HIGHLIGHTTEXT)) : text_on(background));
    const Text text = list_entry(item.itemID);
    ExtTextOutW(item.hDC, item.rcItem.left + 2, item.rcItem.top, ETO_OPAQUE | ETO_CLIPPED, &item.rcItem,
                wide(text), static_cast<UINT>(text.size()), nullptr);
  }
  if ((item.itemState & ODS_FOCUS) != 0) {
    DrawFocusRect(item.hDC, &item.rcItem);
  }
}

int Win32View::pixels(double twips) const {
  return MulDiv(static_cast<int>(std::lround(twips)), static_cast<int>(dpi_), 1440);
}

void Win32View::scale_to_dpi(UINT dpi) {
  dpi_ = dpi == 0 ? USER_DEFAULT_SCREEN_DPI : dpi;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi_)) {
    font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
  }
  for (const Placement& place : kCheckBoxes) {
    HWND control = box(place.box);
    SetWindowPos(control, nullptr, pixels(place.left), pixels(place.top), pixels(place.width),
                 pixels(place.height), SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
  }
  SendMessageW(List1, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
  SendMessageW(List1, LB_SETITEMHEIGHT, 0, list_item_height());
  SetWindowPos(List1, nullptr, pixels(kList1Rect.left), pixels(kList1Rect.top),
               pixels(kList1Rect.right - kList1Rect.left), pixels(kList1Rect.bottom - kList1Rect.top),
               SWP_NOZORDER | SWP_NOACTIVATE);
  // The designed client area; the frame, caption and menu bar come around it.
  RECT outer{0, 0, pixels(kClientWidth), pixels(kClientHeight)};
  AdjustWindowRectExForDpi(&outer, WS_OVERLAPPEDWINDOW, TRUE, 0, dpi_);
  SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK Win32View::window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* view = reinterpret_cast<Win32View*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (view == nullptr || view->window_ == nullptr) {
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return view->handle(message, wparam, lparam);
}

LRESULT Win32View::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  // After end() no handler runs again, whatever is still queued.
  oledrag_form* form = ended_ ? nullptr : form_;
  switch (message) {
    case WM_SIZE:
      if (form != nullptr) {
        form->Form_Resize();
      }
      return 0;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      scale_to_dpi(HIWORD(wparam));
      SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_COMMAND:
      if (form != nullptr) {
        const int id = LOWORD(wparam);
        if (lparam == 0 && id == MENU_HELP) {
          form->MENU_HELP_Click();
        } else if (lparam == 0 && id == MENU_CLEAR) {
          form->MENU_CLEAR_Click();
        } else if (id == kList1 && HIWORD(wparam) == LBN_SELCHANGE) {
          form->List1_Click();
        }
      }
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return colour_check_box(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_MEASUREITEM:
      if (wparam == kList1) {
        reinterpret_cast<MEASUREITEMSTRUCT*>(lparam)->itemHeight = static_cast<UINT>(list_item_height());
        return TRUE;
      }
      return DefWindowProcW(window_, message, wparam, lparam);
    case WM_DRAWITEM:
      if (wparam == kList1) {
        draw_list_entry(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        return TRUE;
      }
      return DefWindowProcW(window_, message, wparam, lparam);
    case WM_CTLCOLORLISTBOX:
      SetBkColor(reinterpret_cast<HDC>(wparam), kLightCyan);
      SetTextColor(reinterpret_cast<HDC>(wparam), text_on(kLightCyan));
      return reinterpret_cast<LRESULT>(list_brush_.get());
    case kDeliverDrop:
      deliver_drop();
      return 0;
    case WM_CLOSE:
      if (form != nullptr) {
        form->Form_QueryUnload();
      } else {
        end(0);
      }
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;  // the session may end; the close comes with WM_ENDSESSION
    case WM_ENDSESSION:
      // The session ends: the close's settings write, before this returns,
      // after which Windows may end the process at any moment.
      if (wparam != FALSE && form != nullptr) {
        form->Form_QueryUnload();
      }
      return 0;
    case WM_SETTINGCHANGE:
      if (lparam != 0 && lstrcmpW(reinterpret_cast<const wchar_t*>(lparam), L"ImmersiveColorSet") == 0) {
        follow_dark_mode(window_);
      }
      return DefWindowProcW(window_, message, wparam, lparam);
    case WM_DESTROY:
      RevokeDragDrop(window_);
      return 0;
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

LRESULT Win32View::colour_check_box(HDC dc, HWND control) const {
  for (const Placement& place : kCheckBoxes) {
    if (box(place.box) == control) {
      const COLORREF background = GetSysColor(place.colour);
      SetBkColor(dc, background);
      SetTextColor(dc, text_on(background));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(place.colour));
    }
  }
  return DefWindowProcW(window_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                        reinterpret_cast<LPARAM>(control));
}

void Win32View::deliver_drop() {
  if (drops_.empty()) {
    return;
  }
  Drop drop = std::move(drops_.front());
  drops_.pop_front();
  if (ended_ || form_ == nullptr) {
    return;
  }
  RECT list_rect;
  GetWindowRect(List1, &list_rect);
  if (!PtInRect(&list_rect, drop.where)) {
    form_->Form_OLEDragDrop();
    return;
  }
  // One repaint for the whole drop rather than one per entry.
  SendMessageW(List1, WM_SETREDRAW, FALSE, 0);
  form_->List1_OLEDragDrop(drop.paths);
  if (!ended_) {
    SendMessageW(List1, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(List1, nullptr, TRUE);
  }
}

Text Win32View::caption() const {
  if (window_ == nullptr) {
    return caption_;
  }
  const int length = GetWindowTextLengthW(window_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window_, text.data(), length + 1);
  return text_of(text.data(), static_cast<std::size_t>(got));
}

void Win32View::set_caption(const Text& caption) {
  if (window_ == nullptr) {
    caption_ = caption;
    return;
  }
  if (!SetWindowTextW(window_, wide(caption))) {
    fail("set the window's caption");
  }
}

int Win32View::check_state(CheckBox which) const {
  if (window_ == nullptr) {
    return checked_[static_cast<int>(which)];
  }
  return SendMessageW(box(which), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void Win32View::set_checked(CheckBox which, bool ticked) {
  if (window_ == nullptr) {
    checked_[static_cast<int>(which)] = ticked ? 1 : 0;
    return;
  }
  SendMessageW(box(which), BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::size_t Win32View::list_count() const {
  ensure_window();
  const LRESULT count = SendMessageW(List1, LB_GETCOUNT, 0, 0);
  if (count == LB_ERR) {
    fail("count the list's entries");
  }
  return static_cast<std::size_t>(count);
}

Text Win32View::list_entry(std::size_t index) const {
  ensure_window();
  const LRESULT length = SendMessageW(List1, LB_GETTEXTLEN, index, 0);
  if (length == LB_ERR) {
    throw PlatformError("cannot read list entry " + std::to_string(index));
  }
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT got = SendMessageW(List1, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  return text_of(text.data(), got == LB_ERR ? 0 : static_cast<std::size_t>(got));
}

void Win32View::write_list_entry(std::size_t index, const Text& text) {
  LRESULT result;
  if (index == list_count()) {
    result = SendMessageW(List1, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(text)));
  } else {
    // A list box cannot change an entry's text in place; the replacement
    // keeps the entry's selection.
    const bool selected = SendMessageW(List1, LB_GETSEL, index, 0) > 0;
    SendMessageW(List1, LB_DELETESTRING, index, 0);
    result = SendMessageW(List1, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(wide(text)));
    if (selected && result >= 0) {
      SendMessageW(List1, LB_SETSEL, TRUE, result);
    }
  }
  if (result == LB_ERR || result == LB_ERRSPACE) {
    throw PlatformError("cannot write list entry " + std::to_string(index) + ": the list is full");
  }
}

void Win32View::clear_list() {
  ensure_window();
  SendMessageW(List1, LB_RESETCONTENT, 0, 0);
}

std::vector<std::size_t> Win32View::selected_entries() const {
  ensure_window();
  const LRESULT count = SendMessageW(List1, LB_GETSELCOUNT, 0, 0);
  if (count <= 0) {
    return {};
  }
  std::vector<int> indexes(static_cast<std::size_t>(count));
  const LRESULT got = SendMessageW(List1, LB_GETSELITEMS, count, reinterpret_cast<LPARAM>(indexes.data()));
  indexes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return {indexes.begin(), indexes.end()};
}

double Win32View::outer_width_twips() const {
  RECT outer;
  GetWindowRect(ensure_window(), &outer);
  return (outer.right - outer.left) * 1440.0 / dpi_;
}

double Win32View::outer_height_twips() const {
  RECT outer;
  GetWindowRect(ensure_window(), &outer);
  return (outer.bottom - outer.top) * 1440.0 / dpi_;
}

void Win32View::set_list_width_twips(float width) {
  ensure_window();
  RECT list_rect;
  GetWindowRect(List1, &list_rect);
  SetWindowPos(List1, nullptr, 0, 0, pixels(width), list_rect.bottom - list_rect.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32View::set_list_height_twips(float height) {
  ensure_window();
  RECT list_rect;
  GetWindowRect(List1, &list_rect);
  SetWindowPos(List1, nullptr, 0, 0, list_rect.right - list_rect.left, pixels(height),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32View::clear_clipboard() { win32::clear_clipboard(clipboard_owner()); }

void Win32View::set_clipboard_text(const Text& text) { win32::set_clipboard_text(clipboard_owner(), text); }

void Win32View::show_message(const Text& text, const std::function<void()>& on_ok) {
  HWND owner = window_ != nullptr && IsWindowVisible(window_) ? window_ : nullptr;
  MessageBoxW(owner, wide(text), wide(title_), MB_OK);
  if (on_ok) {
    on_ok();
  }
}

void Win32View::show_and_run() {
  if (ended_) {
    return;
  }
  ensure_window();
  // OLE only for the shown window: under Wine, starting it made up about
  // 40 % of a command-line copy's time.
  const HRESULT ole = OleInitialize(nullptr);
  if (FAILED(ole)) {
    throw PlatformError("cannot accept drops: " + windows_reason(static_cast<DWORD>(ole)));
  }
  struct OleScope {
    ~OleScope() { OleUninitialize(); }
  } ole_scope;
  drop_target_ = new DropTarget([this](POINT where, std::vector<Text> paths) {
    // Served after the drop returns, so the source is not held while a
    // message box waits for the user.
    drops_.push_back({where, std::move(paths)});
    PostMessageW(window_, kDeliverDrop, 0, 0);
  });
  const HRESULT registered = RegisterDragDrop(window_, drop_target_);
  if (FAILED(registered)) {
    throw PlatformError("cannot accept drops: " + windows_reason(static_cast<DWORD>(registered)));
  }
  ShowWindow(window_, SW_SHOWDEFAULT);
  UpdateWindow(window_);
  if (form_ != nullptr) {
    form_->Form_Resize();
  }
  MSG message;
  while (!ended_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(window_, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (window_ != nullptr) {
    RevokeDragDrop(window_);
  }
}

void Win32View::end(int) {
  if (ended_) {
    return;
  }
  if (window_ != nullptr) {
    caption_ = caption();
    for (const CheckBox which : {CheckBox::TAG, CheckBox::CRLF, CheckBox::drive}) {
      checked_[static_cast<int>(which)] = check_state(which);
    }
  }
  ended_ = true;
  HWND window = std::exchange(window_, nullptr);
  if (window != nullptr) {
    RevokeDragDrop(window);
    DestroyWindow(window);
    // Wakes the message loop, which may wait for a next message for ever:
    // nothing is posted after a close the session's end sent.
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
  }
}

}  // namespace kestrova::win32
