#include "shell/win/win_dialogs.h"

#include <shlobj.h>

#include <deque>
#include <utility>

#include "base/codepage.h"
#include "shell/win/win_controls.h"
#include "shell/window_texts.h"

namespace quill::shell::win {

using generator::ReplaceAnswer;

std::wstring widen(const Text& gbk) {
  const std::u16string wide = gbk_to_utf16(gbk);
  return std::wstring(wide.begin(), wide.end());
}

Text narrow(const std::wstring& wide) { return utf16_to_gbk(std::u16string(wide.begin(), wide.end())); }

void ShowInfo(const Text& message) {
  ::MessageBoxW(nullptr, widen(message).c_str(), widen(InfoCaption()).c_str(), MB_OK | MB_TASKMODAL);
}

namespace {

constexpr wchar_t kReplaceClass[] = L"QuillmoorReplaceBox";
constexpr int kButtonBase = 100;

struct ReplaceState {
  bool answered = false;
  ReplaceAnswer answer = ReplaceAnswer::cancel;
};

LRESULT CALLBACK ReplaceProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<ReplaceState*>(::GetWindowLongPtrW(box, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE:
      ::SetWindowLongPtrW(
          box, GWLP_USERDATA,
          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
      break;
    case WM_COMMAND:
      if (state && LOWORD(wparam) >= kButtonBase && LOWORD(wparam) < kButtonBase + 5) {
        state->answer = static_cast<ReplaceAnswer>(LOWORD(wparam) - kButtonBase);
        state->answered = true;
        return 0;
      }
      if (state && LOWORD(wparam) == IDCANCEL) {
        state->answered = true;
        return 0;
      }
      break;
    case WM_CLOSE:
      if (state) state->answered = true;
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(box, message, wparam, lparam);
}

HWND CreateReplaceBox(HWND owner, const Text& target, ReplaceState& state) {
  constexpr int kWidth = 430, kHeight = 130;
  RECT outer{0, 0, kWidth, kHeight};
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  ::AdjustWindowRectEx(&outer, style, FALSE, WS_EX_DLGMODALFRAME);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int w = outer.right - outer.left, h = outer.bottom - outer.top;
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  HWND box =
      ::CreateWindowExW(WS_EX_DLGMODALFRAME, kReplaceClass, L"确认文件替换", style,
                        work.left + (work.right - work.left - w) / 2,
                        work.top + (work.bottom - work.top - h) / 2, w, h, owner, nullptr, instance, &state);
  if (!box) return nullptr;
  auto font = reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT));
  const std::wstring question = L"目标位置已有同名文件：\r\n" + widen(target) + L"\r\n\r\n要替换它吗？";
  HWND text = ::CreateWindowExW(0, L"STATIC", question.c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 12, 10,
                                406, 70, box, nullptr, instance, nullptr);
  ::SendMessageW(text, WM_SETFONT, font, FALSE);
  const wchar_t* labels[] = {L"是", L"全部是", L"否", L"全部否", L"取消"};
  for (int i = 0; i < 5; ++i) {
    const DWORD kind = i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    HWND button = ::CreateWindowExW(
        0, L"BUTTON", labels[i], WS_CHILD | WS_VISIBLE | WS_TABSTOP | kind, 15 + i * 82, 92, 72, 26, box,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonBase + i)), instance, nullptr);
    ::SendMessageW(button, WM_SETFONT, font, FALSE);
  }
  return box;
}

struct ScriptedAnswers {
  std::deque<Text> labels;
  std::function<void(const Text&)> note;
};

ScriptedAnswers& Scripted() {
  static ScriptedAnswers scripted;
  return scripted;
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// Clicks the shown box's button of the next scripted label, as a user would,
// and notes what the box said.
void AnswerScripted(HWND box) {
  ScriptedAnswers& scripted = Scripted();
  const std::wstring label = scripted.labels.empty() ? L"" : widen(scripted.labels.front());
  if (!scripted.labels.empty()) scripted.labels.pop_front();
  std::wstring question, buttons;
  HWND chosen = nullptr;
  for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t kind[16] = {};
    ::GetClassNameW(child, kind, 16);
    if (::lstrcmpiW(kind, L"Static") == 0) {
      question = TextOf(child);
      continue;
    }
    buttons += (buttons.empty() ? L"" : L" ") + TextOf(child);
    if (!label.empty() && TextOf(child) == label) chosen = child;
  }
  scripted.note(gbk("问：") + narrow(question) + "|" + narrow(buttons) + gbk("|答：") +
                (chosen ? narrow(label) : gbk("（无）")));
  ::PostMessageW(chosen ? chosen : box, chosen ? BM_CLICK : WM_CLOSE, 0, 0);
}

}  // namespace

void AnswerReplaceQuestionsWith(const TextList& labels, std::function<void(const Text&)> note) {
  Scripted() = {std::deque<Text>(labels.begin(), labels.end()), std::move(note)};
}

namespace {

// Shows box centred and modal over owner until answered is set or a quit comes.
void RunModal(HWND owner, HWND box, HWND focus, const bool& answered) {
  RECT outer{}, work{};
  ::GetWindowRect(box, &outer);
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  ::SetWindowPos(box, nullptr, work.left + (work.right - work.left - (outer.right - outer.left)) / 2,
                 work.top + (work.bottom - work.top - (outer.bottom - outer.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
  const bool owner_was_enabled = owner && !::EnableWindow(owner, FALSE);
  ::ShowWindow(box, SW_SHOW);
  ::SetFocus(focus);
  MSG message;
  while (!answered) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // The quit belongs to the loop that runs the program.
      if (got == 0) ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (!::IsDialogMessageW(box, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  if (owner_was_enabled) ::EnableWindow(owner, TRUE);
}

}  // namespace

ReplaceAnswer AskReplace(HWND owner, const Text& target) {
  RegisterWindowClass(kReplaceClass, ReplaceProc);
  ReplaceState state;
  HWND box = CreateReplaceBox(owner, target, state);
  if (!box) return ReplaceAnswer::cancel;
  if (Scripted().note) AnswerScripted(box);
  RunModal(owner, box, ::GetDlgItem(box, kButtonBase), state.answered);
  ::DestroyWindow(box);
  return state.answer;
}

namespace {

constexpr wchar_t kFormClass[] = L"QuillmoorFormBox";
constexpr int kFieldBase = 200;
const wchar_t* const kFieldNames[] = {L"接口：", L"网关：", L"并发：", L"重试：", L"证书："};
Text NetworkForm::*const kFieldMembers[] = {&NetworkForm::api, &NetworkForm::gateway, &NetworkForm::jobs,
                                            &NetworkForm::retries, &NetworkForm::ca_file};

struct FormState {
  bool answered = false;
  bool accepted = false;
};

std::optional<NetworkForm>& ScriptedNetwork() {
  static std::optional<NetworkForm> form;
  return form;
}

LRESULT CALLBACK FormProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<FormState*>(::GetWindowLongPtrW(box, GWLP_USERDATA));
  if (message == WM_NCCREATE)
    ::SetWindowLongPtrW(box, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
  if (state && ((message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) ||
                message == WM_CLOSE)) {
    state->accepted = message == WM_COMMAND && LOWORD(wparam) == IDOK;
    state->answered = true;
    return 0;
  }
  return ::DefWindowProcW(box, message, wparam, lparam);
}

HWND CreateFormBox(HWND owner, const NetworkForm& form, FormState& state) {
  const bool registered = RegisterWindowClass(kFormClass, FormProc);
  constexpr int kWidth = 420, kHeight = 200;
  RECT outer{0, 0, kWidth, kHeight};
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  ::AdjustWindowRectEx(&outer, style, FALSE, WS_EX_DLGMODALFRAME);
  HWND box = registered ? ::CreateWindowExW(WS_EX_DLGMODALFRAME, kFormClass, L"网络设置", style,
                                            CW_USEDEFAULT, 0, outer.right - outer.left,
                                            outer.bottom - outer.top, owner, nullptr, nullptr, &state)
                        : nullptr;
  if (!box) return nullptr;
  auto font = reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT));
  auto add = [&](const wchar_t* type, const std::wstring& text, DWORD more, int x, int y, int w, int h,
                 int id) {
    HWND child = ::CreateWindowExW(std::wstring(type) == L"EDIT" ? WS_EX_CLIENTEDGE : 0, type, text.c_str(),
                                   WS_CHILD | WS_VISIBLE | more, x, y, w, h, box,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    ::SendMessageW(child, WM_SETFONT, font, FALSE);
  };
  for (int i = 0; i < 5; ++i) {
    add(L"STATIC", kFieldNames[i], SS_NOPREFIX, 12, 14 + i * 28, 48, 20, -1);
    add(L"EDIT", widen(form.*kFieldMembers[i]), WS_TABSTOP | ES_AUTOHSCROLL, 64, 12 + i * 28, 344, 22,
        kFieldBase + i);
  }
  add(L"BUTTON", L"确定", WS_TABSTOP | BS_DEFPUSHBUTTON, 248, 160, 76, 26, IDOK);
  add(L"BUTTON", L"取消", WS_TABSTOP | BS_PUSHBUTTON, 332, 160, 76, 26, IDCANCEL);
  return box;
}

}  // namespace

void AnswerNextNetworkDialog(std::optional<NetworkForm> form) { ScriptedNetwork() = std::move(form); }

bool EditNetwork(HWND owner, NetworkForm& form) {
  FormState state;
  HWND box = CreateFormBox(owner, form, state);
  if (!box) return false;
  if (auto scripted = std::exchange(ScriptedNetwork(), std::nullopt)) {
    for (int i = 0; i < 5; ++i)
      ::SetDlgItemTextW(box, kFieldBase + i, widen((*scripted).*kFieldMembers[i]).c_str());
    ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  }
  RunModal(owner, box, ::GetDlgItem(box, kFieldBase), state.answered);
  if (state.accepted)
    for (int i = 0; i < 5; ++i) {
      HWND edit = ::GetDlgItem(box, kFieldBase + i);
      std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(edit)) + 1, L'\0');
      text.resize(
          static_cast<std::size_t>(::GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
      form.*kFieldMembers[i] = narrow(text);
    }
  ::DestroyWindow(box);
  return state.accepted;
}

namespace {

struct BrowseStart {
  std::wstring folder;
  bool confirm = false;  // the self-test's choice: OK at once
};

Text& ScriptedFolder() {
  static Text folder;
  return folder;
}

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
  if (message != BFFM_INITIALIZED) return 0;
  const auto& start = *reinterpret_cast<const BrowseStart*>(data);
  if (!start.folder.empty())
    ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start.folder.c_str()));
  if (start.confirm) ::PostMessageW(browser, WM_COMMAND, IDOK, 0);
  return 0;
}

// The folder itself when it exists, else the nearest one above it that does:
// the browser selects nothing for a folder not made yet, as the save folder
// is before the first run.
std::wstring ExistingFolder(std::wstring folder) {
  while (!folder.empty()) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return folder;
    const std::size_t cut = folder.find_last_of(L"\\/");
    if (cut == std::wstring::npos || cut == 0) return {};
    folder.resize(cut);
    if (folder.size() == 2 && folder[1] == L':') return folder + L"\\";  // a drive's root
  }
  return folder;
}

}  // namespace

void ChooseInNextBrowser(const Text& folder) { ScriptedFolder() = folder; }

Text BrowseForFolder(const Text& start, const Text& title) {
  BrowseStart begin{ExistingFolder(widen(start)), false};
  if (!ScriptedFolder().empty()) begin = {widen(std::exchange(ScriptedFolder(), Text())), true};
  const std::wstring wide_title = widen(title.empty() ? gbk("请选择一个文件夹") : title);
  BROWSEINFOW info{};
  info.lpszTitle = wide_title.c_str();
  info.ulFlags = BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(&begin);
  PIDLIST_ABSOLUTE item = ::SHBrowseForFolderW(&info);
  if (!item) return {};
  std::wstring path(MAX_PATH + 1, L'\0');
  const bool has_path = ::SHGetPathFromIDListW(item, path.data());
  ::CoTaskMemFree(item);
  if (!has_path) return {};
  path.resize(path.find(L'\0'));
  return txt_trim(narrow(path));
}

}  // namespace quill::shell::win
