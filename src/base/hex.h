#pragma once

#include <string_view>

namespace quill {

// Upper-case hexadecimal digits by value, for percent-encoding and digests.
inline constexpr std::string_view kHexDigits = "0123456789ABCDEF";

}  // namespace quill
