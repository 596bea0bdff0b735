#include "shell/win/win_controls.h"

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>

#include "shell/win/win_dialogs.h"

namespace quill::shell::win {
namespace {

constexpr int kFirstId = 101;
constexpr COLORREF kLinkColour = RGB(0, 0, 255);

struct Look {
  const wchar_t* type;
  DWORD style;
  DWORD extended = 0;
};

Look LookOf(ControlKind kind) {
  const DWORD edit = WS_TABSTOP | ES_AUTOHSCROLL;
  switch (kind) {
    case ControlKind::keywords:
      return {L"EDIT", edit | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
              WS_EX_CLIENTEDGE};
    case ControlKind::edit:
      return {L"EDIT", edit, WS_EX_CLIENTEDGE};
    case ControlKind::count:
      return {L"EDIT", edit | ES_CENTER, WS_EX_CLIENTEDGE};
    case ControlKind::combo:
      return {L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST};
    case ControlKind::button:
      return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON};
    case ControlKind::check:
      return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX};
    case ControlKind::link:
      return {L"STATIC", SS_NOPREFIX | SS_NOTIFY};
    case ControlKind::label:
      break;
  }
  return {L"STATIC", SS_NOPREFIX};
}

// Typed characters the count box does not accept are dropped before it sees them.
LRESULT CALLBACK CountFilter(HWND edit, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  if (message == WM_CHAR && !CountBoxAccepts(static_cast<char32_t>(wparam))) return 0;
  return ::DefSubclassProc(edit, message, wparam, lparam);
}

// The system's GUI font asked for with the Chinese character set: the same
// font on a Chinese Windows, one that has the captions' characters elsewhere.
// Made once, for the life of the process.
HFONT FontOf(const ControlRow& row) {
  static const HFONT song =
      ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_DONTCARE, L"SimSun");
  static const LOGFONTW gui_look = [] {
    LOGFONTW look{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof look, &look);
    look.lfCharSet = GB2312_CHARSET;
    return look;
  }();
  static const HFONT gui = ::CreateFontIndirectW(&gui_look);
  static const HFONT link = [] {
    LOGFONTW look = gui_look;
    look.lfUnderline = TRUE;
    return ::CreateFontIndirectW(&look);
  }();
  return row.song ? song : row.kind == ControlKind::link ? link : gui;
}

}  // namespace

int ControlId(Control control) { return kFirstId + control; }
int ControlOf(int id) { return id >= kFirstId && id < kFirstId + kControlCount ? id - kFirstId : -1; }

HWND CreateControl(HWND window, Control control, const ControlRow& row) {
  const Look look = LookOf(row.kind);
  // A drop-down list's height is that of its open list.
  const int height = row.kind == ControlKind::combo ? row.height + kOpenListHeight : row.height;
  HWND handle =
      ::CreateWindowExW(look.extended, look.type, widen(row.caption).c_str(),
                        WS_CHILD | WS_VISIBLE | look.style, row.x, row.y, row.width, height, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(control))), nullptr, nullptr);
  ::SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(row)), FALSE);
  if (row.kind == ControlKind::combo) {
    // The closed box keeps the table's height whatever the font.
    ::SendMessageW(handle, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), row.height - 6);
    SetItems(handle, row.items);
    ::SendMessageW(handle, CB_SETCURSEL, static_cast<WPARAM>(row.selection), 0);
  }
  if (look.extended) {
    ::SendMessageW(handle, EM_LIMITTEXT, 0, 0);  // no edit box has a length limit of its own
    // Narrow margins: the secret's 32 characters fill its box to the last pixel.
    ::SendMessageW(handle, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(1, 1));
  }
  if (row.kind == ControlKind::count) ::SetWindowSubclass(handle, CountFilter, 1, 0);
  return handle;
}

bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HICON icon) {
  WNDCLASSW type{};
  if (::GetClassInfoW(::GetModuleHandleW(nullptr), name, &type)) return true;
  type.lpfnWndProc = procedure;
  type.hInstance = ::GetModuleHandleW(nullptr);
  type.hIcon = icon;
  type.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  type.lpszClassName = name;
  return ::RegisterClassW(&type) != 0;
}

void SetItems(HWND combo, const TextList& items) {
  ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const Text& item : items)
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

Text SelectedItem(HWND combo) {
  const auto at = static_cast<WPARAM>(::SendMessageW(combo, CB_GETCURSEL, 0, 0));
  const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, at, 0);
  if (length == CB_ERR) return {};
  std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
  item.resize(static_cast<std::size_t>(
      std::max<LRESULT>(0, ::SendMessageW(combo, CB_GETLBTEXT, at, reinterpret_cast<LPARAM>(item.data())))));
  return narrow(item);
}

LRESULT PaintControl(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND control = reinterpret_cast<HWND>(message == WM_SETCURSOR ? wparam : lparam);
  const int at = ControlOf(::GetDlgCtrlID(control));
  if (at < 0) return 0;
  const ControlRow& row = WindowLayout()[static_cast<std::size_t>(at)];
  const bool link = row.kind == ControlKind::link;
  if (message == WM_SETCURSOR) return link ? (::SetCursor(::LoadCursorW(nullptr, IDC_HAND)), TRUE) : 0;
  if (!link && !row.colour) return 0;
  auto dc = reinterpret_cast<HDC>(wparam);
  const unsigned rgb = row.colour;
  ::SetTextColor(dc, link ? kLinkColour : RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF));
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

void CenterOnWorkArea(HWND window) {
  RECT outer{}, work{};
  ::GetWindowRect(window, &outer);
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int w = outer.right - outer.left, h = outer.bottom - outer.top;
  ::SetWindowPos(window, nullptr, work.left + (work.right - work.left - w) / 2,
                 work.top + (work.bottom - work.top - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool PumpMessages(HWND window, const std::function<void()>& on_quit) {
  bool handled = false;
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The quit belongs to the loop that runs the program, which ends with
      // it: a run in progress stops too, or each of its waits would wake at
      // once for the quit left in the queue.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      on_quit();
      break;
    }
    handled = true;
    if (!::IsDialogMessageW(window, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return handled;
}

int RunMessageLoop(HWND window) {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!::IsDialogMessageW(window, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return 0;
}

}  // namespace quill::shell::win
