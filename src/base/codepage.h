#pragma once
// Code page 936 (GBK, Windows' table including the user-defined area) against
// UTF-8 and UTF-16, through ICU's "windows-936-2000" converter. Characters GBK
// cannot hold encode to "?"; malformed input decodes to U+FFFD.

#include <string>
#include <string_view>

#include "base/text.h"

namespace quill {

std::u16string gbk_to_utf16(std::string_view gbk);
// Invalid UTF-8 sequences become U+FFFD.
std::u16string utf8_to_utf16(std::string_view utf8);
Text utf16_to_gbk(std::u16string_view utf16);
std::string gbk_to_utf8(std::string_view gbk);
// Invalid UTF-8 sequences become the converter's substitute on the way.
Text utf8_to_gbk(std::string_view utf8);

// The GBK form of a UTF-8 literal of the source, for the program's own texts:
// gbk("信息："). Keep the result (a static or a member) where it is used often.
inline Text gbk(std::string_view utf8) { return utf8_to_gbk(utf8); }

}  // namespace quill
