#pragma once
// The message box of the Windows convention the program's texts were written
// for: its style bits and its default caption. The window draws the box; the
// core only names what it should look like.

#include <string_view>

namespace quill {

inline constexpr unsigned kMbOk = 0x0000;
inline constexpr unsigned kMbIconError = 0x0010;
inline constexpr unsigned kMbTaskModal = 0x2000;
// What a box with one OK button gives back.
inline constexpr int kResultOk = 1;

inline constexpr std::string_view kDefaultCaption = "\xD0\xC5\xCF\xA2\xA3\xBA";  // "信息："

}  // namespace quill
