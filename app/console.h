#pragma once
// The batch tool's command line and console, one implementation per platform
// (console_posix.cpp, console_win.cpp): arguments and output are UTF-8.

#include <filesystem>
#include <string>
#include <vector>

namespace quill::app {

// The arguments after the program name, in UTF-8 (on Windows from the wide
// command line, whatever the machine's code page).
std::vector<std::string> Utf8Arguments(int argc, char** argv);
// Makes the console show UTF-8 output; nothing where it does already.
void PrepareConsole();
// A UTF-8 path for the file system library (a plain string would be read in
// Windows' code page for non-Unicode programs).
inline std::filesystem::path Utf8Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace quill::app
