#pragma once
// Number, text and byte-array conversions.

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace quill {

using Bytes = std::vector<std::uint8_t>;

// "%d".
Text to_text(std::int32_t value);
// "%.13g": 20.0 gives "20", 0.5 gives "0.5".
Text to_text(double value);
// The bytes up to, not including, the first zero byte.
Text to_text(const Bytes& bytes);

// Full-width folding (A3 A1..A3 FE to 0x21..0x7E, A1 A1 to space, A1 AB to '~',
// A1 EE / A1 EF to '*'), then C atoi rules; no digits gives 0. Out-of-range
// values saturate instead of overflowing.
std::int32_t to_int32(std::string_view text);
// Full-width folding, then C atof rules; nothing numeric gives 0.
double to_double(std::string_view text);
// The folding step on its own.
Text fold_full_width(std::string_view text);

Bytes text_to_bytes(std::string_view text);
Text bytes_to_text(const Bytes& bytes);

}  // namespace quill
