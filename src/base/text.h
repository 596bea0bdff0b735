#pragma once
// GBK text primitives. A Text is a GBK byte string; positions are 1-based byte
// positions, a failed search gives -1. Operations marked character-aware step
// over a double-byte pair (lead byte 0x81..0xFE plus a trail byte) as one unit,
// so a match never begins on the second byte of a pair. 0x80 ("€" in code page
// 936) and 0xFF are characters of their own, and so is a lead byte that no trail
// byte follows (a character cut short), so it never swallows a CR or an LF.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill {

using Text = std::string;
using TextList = std::vector<Text>;

// Number of bytes.
int txt_length(std::string_view text);
// First / last min(n, length) bytes; n <= 0 gives the empty text.
Text txt_left(std::string_view text, int n);
Text txt_right(std::string_view text, int n);
// Bytes from 1-based start, at most n; start < 1, start > length or n <= 0 give "".
Text txt_mid(std::string_view text, int start, int n);

// Character-aware forward search from 1-based start (nullopt = whole text).
// Empty sub: 1 when the searched region is non-empty, else -1.
int txt_find(std::string_view text, std::string_view sub, std::optional<int> start = std::nullopt,
             bool ignore_case = false);
// Character-aware search for the last occurrence within the first start - 1 bytes
// (nullopt = whole text); overlapping occurrences count.
int txt_find_last(std::string_view text, std::string_view sub, std::optional<int> start = std::nullopt,
                  bool ignore_case = false);

// Character-aware replacement, left to right, never overlapping, replaced text is
// not searched again. count nullopt = all.
Text txt_replace(std::string_view text, std::string_view find, std::string_view replacement = {},
                 std::optional<int> start = std::nullopt, std::optional<int> count = std::nullopt,
                 bool case_sensitive = true);

// Character-aware split. Inner empty items are kept, a trailing empty item is not;
// the empty text gives no items; an empty separator gives the whole text as one item.
TextList txt_split(std::string_view text, std::string_view separator = ",",
                   std::optional<int> max_items = std::nullopt);

// Removes leading and trailing spaces (0x20 and the full-width space A1 A1); tabs stay.
Text txt_trim(std::string_view text);
// ASCII case change; double-byte pairs copied unchanged.
Text txt_upper(std::string_view text);
Text txt_lower(std::string_view text);
// n bytes 0x20; n < 1 gives "".
Text txt_spaces(int n);
// Every line break (CR LF, a lone CR, a lone LF) as CR LF, the form the keyword
// box holds; a GBK character never holds either byte.
Text txt_crlf_lines(std::string_view text);

template <typename... Parts>
Text txt_join(std::string_view first, std::string_view second, Parts&&... rest) {
  Text out;
  out.reserve(first.size() + second.size() + (std::string_view(rest).size() + ... + 0));
  out.append(first).append(second);
  (out.append(std::string_view(rest)), ...);
  return out;
}

// -1, 0 or 1 by unsigned byte-wise comparison.
int txt_compare(std::string_view a, std::string_view b);

// True when the byte begins a double-byte GBK character, if a trail byte follows.
constexpr bool is_lead_byte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
// True when the byte can end a double-byte GBK character: 0x40..0x7E, 0x80..0xFE.
constexpr bool is_trail_byte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

// Bytes of the GBK character at i (i < size): 2 for a lead byte followed by a
// trail byte, 1 otherwise. Every walk over GBK characters steps by this.
constexpr std::size_t gbk_char_length(std::string_view text, std::size_t i) {
  return i + 1 < text.size() && is_lead_byte(static_cast<unsigned char>(text[i])) &&
                 is_trail_byte(static_cast<unsigned char>(text[i + 1]))
             ? 2
             : 1;
}

}  // namespace quill
