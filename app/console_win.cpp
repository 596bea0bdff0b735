#include <windows.h>
// after windows.h
#include <shellapi.h>

#include "console.h"

namespace quill::app {
namespace {

std::string to_utf8(const wchar_t* wide) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminating NUL
  return utf8;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int, char**) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; wide && i < count; ++i) arguments.push_back(to_utf8(wide[i]));
  if (wide) ::LocalFree(wide);
  return arguments;
}

void PrepareConsole() { ::SetConsoleOutputCP(CP_UTF8); }

}  // namespace quill::app
