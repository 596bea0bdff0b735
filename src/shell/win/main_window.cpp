#include "shell/win/main_window.h"

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "shell/win/self_test.h"
#include "shell/win/win_controls.h"
#include "shell/win/win_dialogs.h"
#include "shell/window_controller.h"

namespace quill::shell::win {
namespace {

constexpr wchar_t kWindowClass[] = L"QuillmoorMainWindow";
constexpr UINT kSelfTestMessage = WM_APP + 1;
constexpr UINT kNetworkCommand = 0x0010;  // a system menu item: below 0xF000, low four bits clear

class Window final : public WindowView {
 public:
  Window(ProgramSession& session, const WindowOptions& options)
      : options_(options), controller_(session, *this) {}
  bool open();
  HWND handle() const { return window_; }
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  HWND at(Control c) const { return controls_[c]; }
  int selection(Control c) const override {
    return static_cast<int>(::SendMessageW(at(c), CB_GETCURSEL, 0, 0));
  }
  Text text(Control c) const override {
    return kinds_[c] == ControlKind::combo ? SelectedItem(at(c)) : narrow(WindowText(at(c)));
  }
  void set_text(Control c, const Text& text) override { ::SetWindowTextW(at(c), widen(text).c_str()); }
  bool checked(Control c) const override { return ::SendMessageW(at(c), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void set_items(Control c, const TextList& items) override { SetItems(at(c), items); }
  void set_selection(Control c, int index) override {
    ::SendMessageW(at(c), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
  void enable(Control c, bool on) override { ::EnableWindow(at(c), on); }
  void set_title(const Text& title) override {
    ::SetWindowTextW(window_, widen(title).c_str());
    // The self-test's close comes as the run starts its first line.
    if (std::exchange(close_when_run_starts_, false)) ::PostMessageW(window_, WM_CLOSE, 0, 0);
  }
  void message(const Text& text) override {
    if (options_.self_test_dir.empty()) return ShowInfo(text);
    RecordMessage(options_.self_test_dir, text);
  }
  generator::ReplaceAnswer ask_replace(const Text& target) override { return AskReplace(window_, target); }
  Text choose_folder(const Text& start, const Text& title) override { return BrowseForFolder(start, title); }
  bool edit_network(NetworkForm& form) override { return EditNetwork(window_, form); }
  Text network_dialog_place() const override {
    return narrow(L"点窗口标题栏左端的图标，在其菜单里选“网络设置...”。");
  }
  bool open_link(const Text& address) override {
    // The self-test notes what the shell would be asked to open.
    if (!options_.self_test_dir.empty()) {
      RecordMessage(options_.self_test_dir, narrow(L"打开：") + address);
      return true;
    }
    return reinterpret_cast<INT_PTR>(::ShellExecuteW(window_, L"open", widen(address).c_str(), nullptr,
                                                     nullptr, SW_SHOWNORMAL)) > 32;
  }
  void close_window() override { ::DestroyWindow(window_); }
  bool pump() override { return PumpMessages(window_, stop_on_quit_); }
  bool pumps_message_queue() const override { return true; }
  void create(Control c, const ControlRow& row) override {
    controls_[c] = CreateControl(window_, c, row);
    kinds_[c] = row.kind;
  }
  LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);

  const WindowOptions& options_;
  WindowController controller_;
  HWND window_ = nullptr;
  HWND controls_[kControlCount] = {};
  ControlKind kinds_[kControlCount] = {};
  bool close_when_run_starts_ = false;
  std::function<void()> stop_on_quit_ = [this] { controller_.quit(); };
};

bool Window::open() {
  const bool registered = RegisterWindowClass(kWindowClass, Procedure, ::LoadIconW(nullptr, IDI_APPLICATION));
  // A fixed border, a system menu, a minimise button and no maximise button.
  constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT outer{0, 0, kClientWidth, kClientHeight};
  ::AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
  if (!registered || !::CreateWindowExW(0, kWindowClass, widen(InitialTitle()).c_str(), kStyle, CW_USEDEFAULT,
                                        0, outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                        nullptr, ::GetModuleHandleW(nullptr), this))
    return false;
  HMENU menu = ::GetSystemMenu(window_, FALSE);
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING, kNetworkCommand, L"网络设置...");
  controller_.build();
  CenterOnWorkArea(window_);
  return true;
}

LRESULT Window::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const int c = ControlOf(LOWORD(wparam));
      // A link's click and a button's share the notification code.
      if (lparam && c >= 0 && HIWORD(wparam) == BN_CLICKED) controller_.click(Control(c));
      return 0;
    }
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) != kNetworkCommand) break;
      controller_.open_network_dialog();
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_SETCURSOR:
      if (LRESULT painted = PaintControl(message, wparam, lparam)) return painted;
      break;
    case kSelfTestMessage:
      RunSelfTest(window_, options_.self_test_dir, controller_, close_when_run_starts_);
      return 0;
    case WM_QUERYENDSESSION:
      controller_.save_for_session_end();
      return TRUE;
    case WM_CLOSE:
      // The run still holds the controls: the window goes once it has ended.
      if (controller_.close()) ::DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      controller_.close();  // saves while the controls still hold their values, unless a close did
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, wparam, lparam);
}

LRESULT CALLBACK Window::Procedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_ = handle;
    ::SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(handle, GWLP_USERDATA));
  return self ? self->handle_message(message, wparam, lparam)
              : ::DefWindowProcW(handle, message, wparam, lparam);
}

}  // namespace

int RunMainWindow(ProgramSession& session, const WindowOptions& options) {
  Window window(session, options);
  if (!window.open()) return 1;
  ::ShowWindow(window.handle(), SW_SHOWNORMAL);
  ::UpdateWindow(window.handle());
  if (!options.self_test_dir.empty()) ::PostMessageW(window.handle(), kSelfTestMessage, 0, 0);
  return RunMessageLoop(window.handle());
}

}  // namespace quill::shell::win
