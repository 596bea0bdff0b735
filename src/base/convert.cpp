#include "base/convert.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace quill {
namespace {

// C isspace in the "C" locale.
bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::size_t skip_c_space(std::string_view s, std::size_t p) {
  while (p < s.size() && is_c_space(s[p])) ++p;
  return p;
}

// The value of an atof-style number whose magnitude does not fit a double:
// infinity when the exponent is positive, zero (with the sign) otherwise.
double out_of_range_value(std::string_view number, bool negative) {
  std::size_t e = number.find_first_of("eEpP");
  bool tiny = e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
  double magnitude = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  return negative ? -magnitude : magnitude;
}

}  // namespace

Text to_text(std::int32_t value) {
  char buffer[16];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Text(buffer, result.ptr);
}

// to_chars with a precision is printf's %.13g without the locale's decimal point.
Text to_text(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 13);
  return Text(buffer, result.ptr);
}

Text to_text(const Bytes& bytes) {
  std::size_t n = 0;
  while (n < bytes.size() && bytes[n] != 0) ++n;
  return Text(reinterpret_cast<const char*>(bytes.data()), n);
}

Text fold_full_width(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t p = 0; p < text.size();) {
    auto lead = static_cast<unsigned char>(text[p]);
    if (gbk_char_length(text, p) == 1) {
      out += text[p++];
      continue;
    }
    auto trail = static_cast<unsigned char>(text[p + 1]);
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      out += static_cast<char>(trail - 0x80);
    } else if (lead == 0xA1 && trail == 0xA1) {
      out += ' ';
    } else if (lead == 0xA1 && trail == 0xAB) {
      out += '~';
    } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
      out += '*';
    } else {
      out.append(text.substr(p, 2));
    }
    p += 2;
  }
  return out;
}

std::int32_t to_int32(std::string_view text) {
  Text folded = fold_full_width(text);
  std::string_view s = folded;
  std::size_t p = skip_c_space(s, 0);
  bool negative = false;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  for (; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p) value = std::min(value * 10 + (s[p] - '0'), limit);
  if (negative) value = -value;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

double to_double(std::string_view text) {
  Text folded = fold_full_width(text);
  std::string_view s = folded;
  std::size_t p = skip_c_space(s, 0);
  bool negative = false;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
  // from_chars takes neither a sign of its own here nor the "0x" of a hex float.
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) return 0.0;
  auto format = std::chars_format::general;
  if (p + 1 < s.size() && s[p] == '0' && (s[p + 1] == 'x' || s[p + 1] == 'X')) {
    std::size_t digits = p + 2;
    bool hex_digit = digits < s.size() && (std::isxdigit(static_cast<unsigned char>(s[digits])) ||
                                           (s[digits] == '.' && digits + 1 < s.size() &&
                                            std::isxdigit(static_cast<unsigned char>(s[digits + 1]))));
    if (hex_digit) {
      format = std::chars_format::hex;
      p = digits;
    }
  }
  double value = 0.0;
  auto result = std::from_chars(s.data() + p, s.data() + s.size(), value, format);
  if (result.ec == std::errc::invalid_argument) return 0.0;
  if (result.ec == std::errc::result_out_of_range)
    return out_of_range_value(s.substr(p, static_cast<std::size_t>(result.ptr - (s.data() + p))), negative);
  return negative ? -value : value;
}

Bytes text_to_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Text bytes_to_text(const Bytes& bytes) { return to_text(bytes); }

}  // namespace quill
