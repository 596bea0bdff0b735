#pragma once
// What every regular-expression engine does alike when it replaces matches:
// reading "$" in the replacement, and mapping the engine's offsets back to
// the GBK original.

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "base/codepage.h"

namespace quill::regex_replace {

// Appends replacement to out with "$1".."$9" (groups the pattern has), "$&"
// and "$$" expanded; any other "$" stays as it is. group(k) gives group k's
// text, empty when unset.
template <typename String, typename Group>
void Expand(String& out, std::basic_string_view<typename String::value_type> replacement, std::size_t groups,
            Group group) {
  using Char = typename String::value_type;
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    const Char c = replacement[i];
    if (c == Char('$') && i + 1 < replacement.size()) {
      const Char next = replacement[i + 1];
      if (next == Char('$')) {
        out += Char('$');
        ++i;
        continue;
      }
      if (next == Char('&')) {
        out += group(0);
        ++i;
        continue;
      }
      if (next >= Char('1') && next <= Char('9') && static_cast<std::size_t>(next - Char('0')) <= groups) {
        out += group(static_cast<std::size_t>(next - Char('0')));
        ++i;
        continue;
      }
    }
    out += c;
  }
}

// Walks a GBK text and the engine's form of it side by side, one character at
// a time, so that the untouched stretches between matches can be copied from
// the GBK original instead of being converted back. units(offset) is the
// length of the engine's character at that offset.
template <typename Units>
class OffsetMap {
 public:
  OffsetMap(std::string_view gbk_text, std::size_t engine_size, Units units)
      : gbk_(gbk_text), size_(engine_size), units_(units) {}
  // The GBK offset of the character at this engine offset (not before the last one asked).
  std::size_t to_gbk(std::size_t engine_offset) {
    while (e_ < engine_offset && e_ < size_) {
      e_ += units_(e_);
      g_ += g_ < gbk_.size() ? gbk_char_length(gbk_, g_) : 1;
    }
    return std::min(g_, gbk_.size());
  }
  // True when both texts hold the same number of characters: the mapping held.
  bool consistent() {
    to_gbk(size_);
    return e_ == size_ && g_ == gbk_.size();
  }

 private:
  std::string_view gbk_;
  std::size_t size_;
  Units units_;
  std::size_t e_ = 0;
  std::size_t g_ = 0;
};

}  // namespace quill::regex_replace
