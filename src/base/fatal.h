#pragma once
// Fatal errors: a box titled "错误" with the error icon, then exit code -1.

#include <cstddef>
#include <optional>
#include <string_view>

#include "base/text.h"

namespace quill {

// "运行时出错!\r\n\r\n" [+ "错误代码：" N "\r\n\r\n"] [+ "错误信息：" M "\r\n"].
Text fatal_error_text(std::optional<int> number, std::string_view message);
[[noreturn]] void fatal_error(std::optional<int> number, std::string_view message);
// "分配 N 字节内存失败!" with N the bytes asked for.
[[noreturn]] void fatal_out_of_memory(std::size_t bytes);
// Installs the new handler that reports exhausted memory as a fatal error,
// naming the size of the allocation that failed (the global operator new is
// replaced to pass it on).
void install_out_of_memory_handler();

// Shows the box of a fatal error; the window puts in its own at start. Without
// one the text goes to standard error in UTF-8.
using FatalBox = void (*)(const Text& message, const Text& caption);
void set_fatal_box(FatalBox box);

}  // namespace quill
