#include "shell/win/self_test.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/codepage.h"
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

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

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

std::string ItemsOf(HWND combo) {
  std::string text = "|selected " + std::to_string(::SendMessageW(combo, CB_GETCURSEL, 0, 0)) + "|";
  const auto count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring item(static_cast<std::size_t>(::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
    item.resize(static_cast<std::size_t>(
        ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
    text += (i ? ";" : "") + Utf8(item);
  }
  return text;
}

std::string Escaped(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return out;
}

BOOL CALLBACK DescribeChild(HWND child, LPARAM lines_address) {
  auto& lines = *reinterpret_cast<std::vector<std::string>*>(lines_address);
  wchar_t kind[64] = {};
  ::GetClassNameW(child, kind, 64);
  RECT place{};
  ::GetWindowRect(child, &place);
  ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&place), 2);
  std::string line = Utf8(kind) + "|" + Escaped(Utf8(TextOf(child))) + "|" + std::to_string(place.left) +
                     "," + std::to_string(place.top) + " " + std::to_string(place.right - place.left) + "x" +
                     std::to_string(place.bottom - place.top) + "|" + FontOf(child);
  if (std::wstring(kind) == L"ComboBox") line += ItemsOf(child);
  lines.push_back(line);
  return TRUE;
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

void DescribeWindow(HWND window, const Text& dir) {
  std::vector<std::string> lines{"title|" + Utf8(TextOf(window))};
  RECT client{};
  ::GetClientRect(window, &client);
  const LONG style = ::GetWindowLongW(window, GWL_STYLE);
  lines.push_back("client|" + std::to_string(client.right) + "x" + std::to_string(client.bottom) +
                  ((style & WS_MAXIMIZEBOX) ? "|maximise" : "|no maximise") +
                  ((style & WS_THICKFRAME) ? "|sizing border" : "|fixed border"));
  ::EnumChildWindows(window, DescribeChild, reinterpret_cast<LPARAM>(&lines));
  if (File file = Open(dir, "controls.txt", L"wb")) {
    for (const std::string& line : lines) std::fprintf(file.get(), "%s\n", line.c_str());
  }
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
    else if (verb == gbk("选择") && words.size() == 1)
      plan.push_back({SelfTestStep::Action::choose_folder, words});
    else
      RecordMessage(dir, gbk("未知步骤：") + line);
  }
  return plan;
}

}  // namespace quill::shell::win
