#include "shell/win/self_test.h"

#include <oleacc.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "shell/win/win_controls.h"
#include "shell/win/win_dialogs.h"

namespace quill::shell::win {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Open(const Text& dir, const char* name, const wchar_t* mode) {
  return File(::_wfopen(widen(dir + "\\" + name).c_str(), mode));
}

std::string Utf8(const std::wstring& wide) { return gbk_to_utf8(narrow(wide)); }

std::wstring TextOf(HWND window) { return WindowText(window); }

std::string FontOf(HWND control) {
  auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW look{}, gui{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
  if (!font || !::GetObjectW(font, sizeof look, &look)) return "system font";
  // The GUI font's face and size, whatever they are on this system.
  const bool gui_font = std::wstring(look.lfFaceName) == gui.lfFaceName && look.lfHeight == gui.lfHeight;
  std::string text =
      gui_font ? std::string("gui") : Utf8(look.lfFaceName) + " " + std::to_string(look.lfHeight);
  if (look.lfCharSet == GB2312_CHARSET) text += " gb2312";
  if (look.lfUnderline) text += " underlined";
  return text;
}

TextList ItemsOf(HWND combo) {
  TextList items;
  const auto count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring item(static_cast<std::size_t>(::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
    item.resize(static_cast<std::size_t>(
        ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
    items.push_back(narrow(item));
  }
  return items;
}

std::string Escaped(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return out;
}

Text AccessibleName(HWND control) {
  // IID_IAccessible, written out: mingw's libuuid and liboleacc both define it.
  static constexpr GUID kAccessible = {
      0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
  IAccessible* object = nullptr;
  if (FAILED(::AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), kAccessible,
                                          reinterpret_cast<void**>(&object))))
    return {};
  VARIANT self;
  ::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  Text text;
  if (SUCCEEDED(object->get_accName(self, &name)) && name) text = narrow(name);
  ::SysFreeString(name);
  object->Release();
  return text;
}

// The differences between a control and its row, "" for none.
std::string Differences(HWND window, Control control, const ControlRow& row) {
  HWND child = ::GetDlgItem(window, ControlId(control));
  if (!child) return "missing";
  static const std::map<ControlKind, std::wstring> classes = {
      {ControlKind::label, L"Static"},  {ControlKind::link, L"Static"}, {ControlKind::keywords, L"Edit"},
      {ControlKind::edit, L"Edit"},     {ControlKind::count, L"Edit"},  {ControlKind::combo, L"ComboBox"},
      {ControlKind::button, L"Button"}, {ControlKind::check, L"Button"}};
  wchar_t kind[64] = {};
  ::GetClassNameW(child, kind, 64);
  RECT place{};
  ::GetWindowRect(child, &place);
  ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
  std::string found;
  if (::lstrcmpiW(kind, classes.at(row.kind).c_str()) != 0) found += " class " + Utf8(kind);
  if (place.left != row.x || place.top != row.y || place.right - place.left != row.width ||
      place.bottom - place.top != row.height)
    found += " place " + std::to_string(place.left) + "," + std::to_string(place.top) + " " +
             std::to_string(place.right - place.left) + "x" + std::to_string(place.bottom - place.top);
  const std::string font = FontOf(child);
  const std::string wanted_font = std::string(row.song ? "SimSun -12" : "gui") + " gb2312" +
                                  (row.kind == ControlKind::link ? " underlined" : "");
  if (font != wanted_font) found += " font " + font;
  const bool captioned = row.kind != ControlKind::keywords && row.kind != ControlKind::edit &&
                         row.kind != ControlKind::count && row.kind != ControlKind::combo;
  if (captioned && narrow(TextOf(child)) != row.caption) found += " text " + Utf8(TextOf(child));
  if (row.kind == ControlKind::combo && control != kTemplate && ItemsOf(child) != row.items)
    found += " items";
  // A screen reader names a box by the label before it (Wine names a
  // drop-down list by its selection, whatever the label).
  if (row.label >= 0 && row.kind != ControlKind::combo) {
    const Text name = AccessibleName(child);
    const Text label = WindowLayout()[static_cast<std::size_t>(row.label)].caption;
    if (name.empty() || !label.starts_with(txt_trim(name.substr(0, name.find(gbk("："))))))
      found += " accessible name " + gbk_to_utf8(name);
  }
  return found;
}

void WriteBitmap(HWND window, const Text& dir) {
  RECT outer{};
  ::GetWindowRect(window, &outer);
  const int width = outer.right - outer.left, height = outer.bottom - outer.top;
  // As the screen shows it, frame and children drawn: printing the window
  // leaves the children out on some systems.
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
  ::GdiFlush();
  HDC screen = ::GetWindowDC(window);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP picture = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(memory, picture);
  ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  ::SelectObject(memory, old);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const int stride = (width * 3 + 3) & ~3;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * height);
  ::GetDIBits(memory, picture, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
              DIB_RGB_COLORS);
  ::DeleteObject(picture);
  ::DeleteDC(memory);
  ::ReleaseDC(window, screen);
  BITMAPFILEHEADER file_header{};
  file_header.bfType = 0x4D42;  // "BM"
  file_header.bfOffBits = sizeof file_header + sizeof header;
  file_header.bfSize = static_cast<DWORD>(file_header.bfOffBits + pixels.size());
  File file = Open(dir, "window.bmp", L"wb");
  if (!file) return;
  std::fwrite(&file_header, sizeof file_header, 1, file.get());
  std::fwrite(&header, sizeof header, 1, file.get());
  std::fwrite(pixels.data(), 1, pixels.size(), file.get());
}

}  // namespace

void CheckWindow(HWND window, const Text& dir) {
  auto differ = [&dir](const Text& what, const std::string& how) {
    RecordMessage(dir, gbk("不符：") + what + utf8_to_gbk(how));
  };
  if (narrow(TextOf(window)) != InitialTitle()) differ(gbk("标题"), " " + Utf8(TextOf(window)));
  RECT client{};
  ::GetClientRect(window, &client);
  const LONG style = ::GetWindowLongW(window, GWL_STYLE);
  if (client.right != kClientWidth || client.bottom != kClientHeight ||
      (style & (WS_MAXIMIZEBOX | WS_THICKFRAME)))
    differ(gbk("窗口"), " " + std::to_string(client.right) + "x" + std::to_string(client.bottom));
  const auto rows = WindowLayout();
  for (int i = 0; i < kControlCount; ++i)
    if (const std::string found = Differences(window, Control(i), rows[static_cast<std::size_t>(i)]);
        !found.empty())
      differ(rows[static_cast<std::size_t>(i)].name, found);
  WriteBitmap(window, dir);
}

void RecordMessage(const Text& dir, const Text& message) {
  if (File file = Open(dir, "messages.txt", L"ab"))
    std::fprintf(file.get(), "%s\n", Escaped(gbk_to_utf8(message)).c_str());
}

std::vector<SelfTestStep> ReadSelfTestPlan(const Text& dir) {
  File file = Open(dir, "plan.txt", L"rb");
  if (!file) return {SelfTestStep{}};
  std::string utf8;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;) utf8.append(chunk, got);
  std::erase(utf8, '\r');
  std::vector<SelfTestStep> plan;
  for (const Text& line : txt_split(utf8_to_gbk(utf8), "\n")) {
    TextList words = txt_split(txt_trim(line), " ");
    std::erase(words, Text());
    if (words.empty()) continue;
    const Text verb = words.front();
    words.erase(words.begin());
    if (verb == gbk("链接") && words.empty())
      plan.push_back({SelfTestStep::Action::click_links, {}});
    else if (verb == gbk("生成"))
      plan.push_back({SelfTestStep::Action::generate, words});
    else if (verb == gbk("生成并关闭") && words.empty())
      plan.push_back({SelfTestStep::Action::generate_and_close, {}});
    else if (verb == gbk("网络") && words.size() >= 4 && words.size() <= 5)
      plan.push_back({SelfTestStep::Action::network, words});
    else if (verb == gbk("选择") && words.size() == 1)
      plan.push_back({SelfTestStep::Action::choose_folder, words});
    else
      RecordMessage(dir, gbk("未知步骤：") + line);
  }
  return plan;
}

namespace {

// A click on each link, where the user clicks: on the control itself.
void ClickLinks(HWND window) {
  for (Control link : {kUpgradeLink, kMoreLink}) {
    HWND control = ::GetDlgItem(window, ControlId(link));
    ::SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::SendMessageW(control, WM_LBUTTONUP, 0, 0);
  }
}

// The system menu's item of that text, as a user picks it.
void PickFromSystemMenu(HWND window, const std::wstring& item) {
  HMENU menu = ::GetSystemMenu(window, FALSE);
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    if (item == text) ::SendMessageW(window, WM_SYSCOMMAND, ::GetMenuItemID(menu, i), 0);
  }
}

void Click(HWND window, Control button) {
  ::SendMessageW(::GetDlgItem(window, ControlId(button)), BM_CLICK, 0, 0);
}

}  // namespace

void RunSelfTest(HWND window, const Text& dir, const WindowController& controller,
                 bool& close_when_run_starts) {
  CheckWindow(window, dir);
  for (const SelfTestStep& step : ReadSelfTestPlan(dir)) {
    if (controller.closing()) return;
    if (step.action == SelfTestStep::Action::click_links) {
      ClickLinks(window);
      continue;
    }
    if (step.action == SelfTestStep::Action::network) {
      TextList values = step.answers;
      values.resize(5);
      AnswerNextNetworkDialog(NetworkForm{values[0], values[1], values[2], values[3], values[4]});
      PickFromSystemMenu(window, L"网络设置...");
      continue;
    }
    if (step.action == SelfTestStep::Action::choose_folder) {
      ChooseInNextBrowser(step.answers.front());
      Click(window, kChoose);
      RecordMessage(dir, gbk("保存目录：") + narrow(WindowText(::GetDlgItem(window, ControlId(kSaveDir)))));
      continue;
    }
    AnswerReplaceQuestionsWith(step.answers, [dir](const Text& note) { RecordMessage(dir, note); });
    close_when_run_starts = step.action == SelfTestStep::Action::generate_and_close;
    Click(window, kGenerate);
    AnswerReplaceQuestionsWith({}, nullptr);
    if (!controller.closing()) RecordMessage(dir, gbk("标题：") + narrow(WindowText(window)));
  }
  if (!controller.closing()) ::PostMessageW(window, WM_CLOSE, 0, 0);
}

}  // namespace quill::shell::win
