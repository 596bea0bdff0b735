#include "shell/win/main_window.h"

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

#include <stop_token>
#include <string>

#include "base/codepage.h"
#include "generator/generation_run.h"
#include "shell/win/self_test.h"
#include "shell/win/win_dialogs.h"
#include "shell/window_texts.h"

namespace quill::shell::win {
namespace {

using generator::ReplaceAnswer;

constexpr wchar_t kWindowClass[] = L"QuillmoorMainWindow";
constexpr int kClientWidth = 518;
constexpr int kClientHeight = 320;
// An open drop-down list is at least this tall.
constexpr int kListHeight = 160;
constexpr COLORREF kLimitColour = RGB(144, 0, 255);
constexpr COLORREF kLinkColour = RGB(0, 0, 255);
constexpr UINT kSelfTestMessage = WM_APP + 1;

enum ControlId : int {
  kHelp = 101,
  kTemplateRules,
  kSave,
  kGenerate,
  kChoose,
  kUpgradeLink,
  kMoreLink,
  kLimitLabel,
  kOther = 200,
};

enum class Kind { label, keywords, edit, count, combo, button, check, link };

struct ControlPlace {
  Kind kind;
  const wchar_t* text;
  int x, y, w, h;
  int id = kOther;
  bool song = false;  // SimSun 12 px instead of the GUI font
};

// Text, place and size of every control, in tab order.
const ControlPlace kControls[] = {
    {Kind::label, L"关键词：", 8, 8, 48, 24},
    {Kind::keywords, L"", 8, 32, 208, 240},
    {Kind::button, L"帮助", 56, 8, 48, 24, kHelp},
    {Kind::button, L"模板制作说明", 112, 8, 104, 24, kTemplateRules},
    {Kind::button, L"保存配置", 8, 280, 64, 32, kSave},
    {Kind::button, L"生成", 80, 280, 136, 32, kGenerate},
    {Kind::label, L"app key ：", 232, 8, 64, 20},
    {Kind::edit, L"", 296, 8, 80, 20},
    {Kind::label, L"Secret  ：", 232, 34, 80, 20},
    {Kind::edit, L"", 296, 34, 208, 20},
    {Kind::label, L"获取数目：", 232, 60, 64, 20},
    {Kind::count, L"", 296, 60, 32, 20},
    {Kind::label, L"最多 40 个", 360, 60, 80, 20, kLimitLabel},
    {Kind::label, L"淘客 PID：", 232, 86, 64, 20},
    {Kind::edit, L"", 296, 86, 160, 20},
    {Kind::label, L"排序方式：", 232, 112, 64, 20, kOther, true},
    {Kind::combo, L"", 296, 112, 160, 20, kOther, true},
    {Kind::label, L"单页模板：", 232, 138, 64, 20, kOther, true},
    {Kind::combo, L"", 296, 138, 160, 20, kOther, true},
    {Kind::label, L"图片尺寸：", 232, 164, 64, 20},
    {Kind::combo, L"", 296, 164, 100, 20},
    {Kind::label, L"保存目录：", 232, 190, 64, 20},
    {Kind::edit, L"", 296, 190, 174, 20},
    {Kind::button, L"选择", 472, 190, 40, 20, kChoose},
    {Kind::label, L"路径式样：", 232, 216, 64, 20, kOther, true},
    {Kind::combo, L"", 296, 216, 112, 20},
    {Kind::label, L"缩短网址：", 232, 244, 64, 20},
    {Kind::combo, L"", 296, 244, 80, 20},
    {Kind::check, L"淘客链接转成短网址", 384, 244, 128, 20},
    {Kind::link, L"升级", 288, 288, 46, 20, kUpgradeLink},
    {Kind::link, L"更多软件 >> www.example.org", 331, 288, 184, 20, kMoreLink},
};
// Indexes into kControls of the controls the window reads and writes.
enum Slot : int {
  kKeywordsAt = 1,
  kGenerateAt = 5,
  kAppKeyAt = 7,
  kSecretAt = 9,
  kCountAt = 11,
  kPidAt = 14,
  kSortAt = 16,
  kTemplateAt = 18,
  kPictureSizeAt = 20,
  kSaveDirAt = 22,
  kPathStyleAt = 25,
  kShortServiceAt = 27,
  kShortLinksAt = 28,
};
constexpr int kControlCount = static_cast<int>(std::size(kControls));

const wchar_t* LinkAddress(int id) {
  return id == kUpgradeLink ? L"http://www.example.com/quillmoor/" : L"http://www.example.org/";
}

DWORD StyleOf(Kind kind) {
  const DWORD child = WS_CHILD | WS_VISIBLE;
  switch (kind) {
    case Kind::label:
      return child | SS_LEFT | SS_NOPREFIX;
    case Kind::link:
      return child | SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
    case Kind::keywords:
      return child | WS_TABSTOP | WS_BORDER | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_AUTOHSCROLL |
             ES_AUTOVSCROLL | ES_WANTRETURN;
    case Kind::edit:
      return child | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
    case Kind::count:
      return child | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | ES_CENTER;
    case Kind::combo:
      return child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
    case Kind::button:
      return child | WS_TABSTOP | BS_PUSHBUTTON;
    case Kind::check:
      return child | WS_TABSTOP | BS_AUTOCHECKBOX;
  }
  return child;
}

const wchar_t* ClassOf(Kind kind) {
  switch (kind) {
    case Kind::label:
    case Kind::link:
      return L"STATIC";
    case Kind::keywords:
    case Kind::edit:
    case Kind::count:
      return L"EDIT";
    case Kind::combo:
      return L"COMBOBOX";
    case Kind::button:
    case Kind::check:
      return L"BUTTON";
  }
  return L"STATIC";
}

// Typed characters other than digits and "-" are dropped; control characters
// (backspace, the cut, copy and paste keys) pass, so pasted text is not filtered.
LRESULT CALLBACK CountFilter(HWND edit, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  if (message == WM_CHAR) {
    const auto typed = static_cast<wchar_t>(wparam);
    const bool control = typed < 0x20 || typed == 0x7F;
    if (!control && !(typed >= L'0' && typed <= L'9') && typed != L'-') return 0;
  }
  return ::DefSubclassProc(edit, message, wparam, lparam);
}

std::wstring WindowText(HWND control) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

int Selection(HWND combo) { return static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0)); }
int ItemCount(HWND combo) { return static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0)); }

void AddItems(HWND combo, const TextList& items) {
  for (const Text& item : items)
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
}

class Window;

// The run reads the controls when it asks. The window outlives every run: a
// close during one is held until the run has ended.
class Controls final : public generator::RunControls {
 public:
  explicit Controls(const Window& window) : w_(window) {}
  Text keywords() override;
  int sort_index() override;
  Text template_name() override;
  Text save_folder() override;
  int path_style() override;
  Text item_count() override;
  Text pid() override;
  Text app_key() override;
  Text app_secret() override;
  bool short_links() override;
  int short_link_service() override;
  int picture_size_index() override;

 private:
  const Window& w_;
};

class Host final : public generator::RunHost {
 public:
  explicit Host(Window& window) : w_(window) {}
  void set_title(const Text& title) override;
  void show_message(const Text& message) override;
  ReplaceAnswer ask_replace(const Text& target) override;
  bool pump() override;
  void line_started(int number, int total, const Text& line) override;
  // The run's waits wake for the window's input, not only for their slice.
  bool pumps_message_queue() const override { return true; }

 private:
  Window& w_;
};

class Window {
 public:
  Window(ProgramSession& session, const WindowOptions& options) : session_(session), options_(options) {}
  ~Window() {
    if (song_font_) ::DeleteObject(song_font_);
    if (link_font_) ::DeleteObject(link_font_);
    if (gui_font_) ::DeleteObject(gui_font_);
  }
  bool create();
  HWND handle() const { return window_; }
  HWND control(int slot) const { return controls_[slot]; }
  Text text_of(int slot) const { return narrow(WindowText(controls_[slot])); }
  int selection_of(int slot) const { return Selection(controls_[slot]); }
  bool self_testing() const { return !options_.self_test_dir.empty(); }
  void run_line_started();

  // Shows a message, or records it when the window tests itself.
  void say(const Text& message);
  // One round of waiting messages; true when any was handled.
  bool pump();

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);
  void build_controls();
  void make_fonts();
  void center();
  void show_session();
  StoredControls stored_controls() const;
  void apply(const StoredControls& values);
  void set_selection(int slot, double index);
  bool save_settings();
  void close_once();
  void command(int id, int notification);
  void generate();
  void choose_save_directory();
  void open_link(int id);
  void self_test();
  void click_links();

  ProgramSession& session_;
  const WindowOptions& options_;
  HWND window_ = nullptr;
  HWND controls_[kControlCount] = {};
  HFONT song_font_ = nullptr;
  HFONT link_font_ = nullptr;
  HFONT gui_font_ = nullptr;
  std::stop_source stop_;  // the run in progress, if any, ends when this stops
  bool running_ = false;
  bool closing_ = false;
  bool destroy_after_run_ = false;
  bool close_when_run_starts_ = false;  // the self-test closes the window mid-run
};

Text Controls::keywords() { return w_.text_of(kKeywordsAt); }
int Controls::sort_index() { return w_.selection_of(kSortAt); }
Text Controls::template_name() { return w_.selection_of(kTemplateAt) < 0 ? Text() : w_.text_of(kTemplateAt); }
Text Controls::save_folder() { return w_.text_of(kSaveDirAt); }
int Controls::path_style() { return w_.selection_of(kPathStyleAt); }
Text Controls::item_count() { return w_.text_of(kCountAt); }
Text Controls::pid() { return w_.text_of(kPidAt); }
Text Controls::app_key() { return w_.text_of(kAppKeyAt); }
Text Controls::app_secret() { return w_.text_of(kSecretAt); }
bool Controls::short_links() {
  return ::SendMessageW(w_.control(kShortLinksAt), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
int Controls::short_link_service() { return w_.selection_of(kShortServiceAt); }
int Controls::picture_size_index() { return w_.selection_of(kPictureSizeAt); }

void Host::set_title(const Text& title) { ::SetWindowTextW(w_.handle(), widen(title).c_str()); }
void Host::show_message(const Text& message) { w_.say(message); }
ReplaceAnswer Host::ask_replace(const Text& target) { return AskReplace(w_.handle(), target); }
bool Host::pump() { return w_.pump(); }
void Host::line_started(int, int, const Text&) { w_.run_line_started(); }

bool Window::create() {
  static const bool registered = [] {
    WNDCLASSW type{};
    type.lpfnWndProc = Procedure;
    type.hInstance = ::GetModuleHandleW(nullptr);
    type.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    type.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    type.lpszClassName = kWindowClass;
    return ::RegisterClassW(&type) != 0;
  }();
  if (!registered) return false;
  // A fixed border, a system menu, a minimise button and no maximise button.
  constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT outer{0, 0, kClientWidth, kClientHeight};
  ::AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
  window_ = ::CreateWindowExW(0, kWindowClass, L"Quillmoor v1.22", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                              outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                              ::GetModuleHandleW(nullptr), this);
  if (!window_) return false;
  make_fonts();
  build_controls();
  center();
  show_session();
  return true;
}

void Window::make_fonts() {
  song_font_ = ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_DONTCARE, L"SimSun");
  // The system's GUI font, asked for with the Chinese character set: the same
  // font on a Chinese Windows, a font that has the captions' characters elsewhere.
  LOGFONTW gui{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
  gui.lfCharSet = GB2312_CHARSET;
  gui_font_ = ::CreateFontIndirectW(&gui);
  gui.lfUnderline = TRUE;
  link_font_ = ::CreateFontIndirectW(&gui);
}

void Window::build_controls() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  HFONT gui_font = gui_font_ ? gui_font_ : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  for (int i = 0; i < kControlCount; ++i) {
    const ControlPlace& place = kControls[i];
    // A drop-down list's height is that of its open list.
    const int height = place.kind == Kind::combo ? place.h + kListHeight : place.h;
    const DWORD extra = place.kind == Kind::keywords || place.kind == Kind::edit || place.kind == Kind::count
                            ? WS_EX_CLIENTEDGE
                            : 0;
    HWND control = ::CreateWindowExW(
        extra, ClassOf(place.kind), place.text, StyleOf(place.kind) & ~WS_BORDER, place.x, place.y, place.w,
        height, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(place.id)), instance, nullptr);
    controls_[i] = control;
    HFONT font = place.song && song_font_                 ? song_font_
                 : place.kind == Kind::link && link_font_ ? link_font_
                                                          : gui_font;
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (place.kind == Kind::combo) {
      // The closed box keeps the table's height whatever the font.
      ::SendMessageW(control, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), place.h - 6);
    }
    // No edit box has a length limit of its own.
    if (place.kind == Kind::keywords || place.kind == Kind::edit || place.kind == Kind::count)
      ::SendMessageW(control, EM_LIMITTEXT, 0, 0);
    if (place.kind == Kind::count) ::SetWindowSubclass(control, CountFilter, 1, 0);
  }
  ::SetWindowTextW(controls_[kKeywordsAt], widen(InitialControls().keywords).c_str());
  AddItems(controls_[kSortAt], SortItems());
  AddItems(controls_[kPictureSizeAt], PictureSizeItems());
  AddItems(controls_[kPathStyleAt], PathStyleItems());
  AddItems(controls_[kShortServiceAt], ShortLinkItems());
  ::SendMessageW(controls_[kShortServiceAt], CB_SETCURSEL, 0, 0);
}

void Window::center() {
  RECT outer{};
  ::GetWindowRect(window_, &outer);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int w = outer.right - outer.left, h = outer.bottom - outer.top;
  ::SetWindowPos(window_, nullptr, work.left + (work.right - work.left - w) / 2,
                 work.top + (work.bottom - work.top - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::show_session() {
  AddItems(controls_[kTemplateAt], session_.templates);
  apply(session_.restored);
}

StoredControls Window::stored_controls() const {
  StoredControls c;
  c.keywords = text_of(kKeywordsAt);
  c.count = text_of(kCountAt);
  c.app_key = text_of(kAppKeyAt);
  c.app_secret = text_of(kSecretAt);
  c.pid = text_of(kPidAt);
  c.sort = selection_of(kSortAt);
  c.picture_size = selection_of(kPictureSizeAt);
  c.template_index = selection_of(kTemplateAt);
  c.save_dir = text_of(kSaveDirAt);
  c.path_style = selection_of(kPathStyleAt);
  return c;
}

void Window::set_selection(int slot, double index) {
  const int fitted = FitSelection(index, ItemCount(controls_[slot]));
  ::SendMessageW(controls_[slot], CB_SETCURSEL, static_cast<WPARAM>(fitted), 0);
}

void Window::apply(const StoredControls& c) {
  auto set_text = [this](int slot, const Text& text) {
    ::SetWindowTextW(controls_[slot], widen(text).c_str());
  };
  set_text(kKeywordsAt, c.keywords);
  set_text(kCountAt, c.count);
  set_text(kAppKeyAt, c.app_key);
  set_text(kSecretAt, c.app_secret);
  set_text(kPidAt, c.pid);
  set_selection(kSortAt, c.sort);
  set_selection(kPictureSizeAt, c.picture_size);
  set_selection(kTemplateAt, c.template_index);
  set_text(kSaveDirAt, c.save_dir);
  set_selection(kPathStyleAt, c.path_style);
}

void Window::say(const Text& message) {
  if (!self_testing()) return ShowInfo(message);
  RecordMessage(options_.self_test_dir, message);
}

bool Window::pump() {
  bool handled = false;
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The quit belongs to the loop that runs the program, which ends with
      // it: a run in progress stops too, or each of its waits would wake at
      // once for the quit left in the queue.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      stop_.request_stop();
      break;
    }
    handled = true;
    if (!::IsDialogMessageW(window_, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return handled;
}

bool Window::save_settings() {
  Text why;
  if (SaveSettings(session_.store, stored_controls(), &why)) return true;
  say(SettingsNotSavedText(session_.store.file(), why));
  return false;
}

void Window::close_once() {
  if (closing_) return;
  closing_ = true;
  // A run in progress stops at its next wait.
  stop_.request_stop();
  save_settings();
}

void Window::generate() {
  if (running_ || closing_) return;
  running_ = true;
  HWND button = controls_[kGenerateAt];
  ::EnableWindow(button, FALSE);
  generator::RunSummary summary;
  {
    Controls controls(*this);
    Host host(*this);
    const generator::RunEnvironment environment = RunEnvironmentOf(session_);
    summary = generator::RunGeneration({controls, host, environment, stop_.get_token()});
  }
  running_ = false;
  ::EnableWindow(button, TRUE);
  if (destroy_after_run_) {
    ::DestroyWindow(window_);
    return;
  }
  // A closing window says nothing more about the run it stopped.
  if (stop_.stop_requested()) return;
  const Text problems = generator::DescribeProblems(summary);
  if (!problems.empty()) say(problems);
}

void Window::choose_save_directory() {
  const Text chosen = BrowseForFolder(text_of(kSaveDirAt), gbk("选择一个保存目录："));
  if (!chosen.empty()) ::SetWindowTextW(controls_[kSaveDirAt], widen(chosen).c_str());
}

void Window::open_link(int id) {
  // The self-test notes what the shell would be asked to open.
  if (self_testing()) return RecordMessage(options_.self_test_dir, gbk("打开：") + narrow(LinkAddress(id)));
  const auto opened = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(window_, L"open", LinkAddress(id), nullptr, nullptr, SW_SHOWNORMAL));
  if (opened <= 32) say(LinkNotOpenedText(narrow(LinkAddress(id))));
}

void Window::command(int id, int notification) {
  switch (id) {
    case kHelp:
      return say(HelpText());
    case kTemplateRules:
      return say(TemplateRulesText());
    case kSave:
      if (save_settings()) say(SettingsSavedText());
      return;
    case kGenerate:
      return generate();
    case kChoose:
      return choose_save_directory();
    case kUpgradeLink:
    case kMoreLink:
      if (notification == STN_CLICKED) open_link(id);
      return;
    default:
      return;
  }
}

void Window::run_line_started() {
  if (!close_when_run_starts_) return;
  close_when_run_starts_ = false;
  // As the user's click on the close button: handled at the run's next wait.
  ::PostMessageW(window_, WM_CLOSE, 0, 0);
}

// A click on each link, where the user clicks: on the control itself.
void Window::click_links() {
  for (HWND link : {::GetDlgItem(window_, kUpgradeLink), ::GetDlgItem(window_, kMoreLink)}) {
    ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::SendMessageW(link, WM_LBUTTONUP, 0, 0);
  }
}

// The plan's steps in order, then a close; a step that closed the window ends it.
void Window::self_test() {
  const Text& dir = options_.self_test_dir;
  DescribeWindow(window_, dir);
  for (const SelfTestStep& step : ReadSelfTestPlan(dir)) {
    if (closing_) return;
    if (step.action == SelfTestStep::Action::click_links) {
      click_links();
      continue;
    }
    if (step.action == SelfTestStep::Action::choose_folder) {
      ChooseInNextBrowser(step.answers.front());
      ::SendMessageW(::GetDlgItem(window_, kChoose), BM_CLICK, 0, 0);
      RecordMessage(dir, gbk("保存目录：") + text_of(kSaveDirAt));
      continue;
    }
    AnswerReplaceQuestionsWith(step.answers, [dir](const Text& note) { RecordMessage(dir, note); });
    close_when_run_starts_ = step.action == SelfTestStep::Action::generate_and_close;
    ::SendMessageW(controls_[kGenerateAt], BM_CLICK, 0, 0);
    AnswerReplaceQuestionsWith({}, nullptr);
    if (!closing_) RecordMessage(dir, gbk("标题：") + narrow(WindowText(window_)));
  }
  if (!closing_) ::PostMessageW(window_, WM_CLOSE, 0, 0);
}

LRESULT Window::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (lparam) command(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_CTLCOLORSTATIC: {
      const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
      auto dc = reinterpret_cast<HDC>(wparam);
      if (id == kLimitLabel || id == kUpgradeLink || id == kMoreLink) {
        ::SetTextColor(dc, id == kLimitLabel ? kLimitColour : kLinkColour);
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    }
    case WM_SETCURSOR: {
      const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(wparam));
      if (id == kUpgradeLink || id == kMoreLink) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    }
    case kSelfTestMessage:
      self_test();
      return 0;
    case WM_QUERYENDSESSION:
      save_settings();
      return TRUE;
    case WM_CLOSE:
      close_once();
      // The run still holds the controls; it ends at its next wait.
      if (running_)
        destroy_after_run_ = true;
      else
        ::DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      close_once();
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
  if (!window.create()) return 1;
  ::ShowWindow(window.handle(), SW_SHOWNORMAL);
  ::UpdateWindow(window.handle());
  if (window.self_testing()) ::PostMessageW(window.handle(), kSelfTestMessage, 0, 0);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!::IsDialogMessageW(window.handle(), &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return 0;
}

}  // namespace quill::shell::win
