#include "base/text.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>

namespace quill {
namespace {

constexpr std::size_t npos = std::string_view::npos;

unsigned char byte_at(std::string_view text, std::size_t i) { return static_cast<unsigned char>(text[i]); }

char fold_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool equal_at(std::string_view text, std::size_t p, std::string_view sub, bool ignore_case) {
  if (!ignore_case) return std::memcmp(text.data() + p, sub.data(), sub.size()) == 0;
  // Letters fold only as characters of their own, not as second bytes of a pair.
  for (std::size_t i = 0; i < sub.size(); ++i) {
    if (gbk_char_length(text, p + i) == 2) {
      if (text[p + i] != sub[i] || (i + 1 < sub.size() && text[p + i + 1] != sub[i + 1])) return false;
      ++i;
    } else if (fold_ascii(text[p + i]) != fold_ascii(sub[i])) {
      return false;
    }
  }
  return true;
}

#ifdef _WIN32
// The Windows C runtime has no memmem: the library's Boyer-Moore search instead.
const void* memmem(const void* haystack, std::size_t n, const void* needle, std::size_t m) {
  const char* begin = static_cast<const char*>(haystack);
  const char* sub = static_cast<const char*>(needle);
  const char* hit = std::search(begin, begin + n, std::boyer_moore_searcher(sub, sub + m));
  return hit == begin + n ? nullptr : hit;
}
#endif

// The first occurrence of sub in base[p, n), or npos. memchr on the first byte
// beats memmem's set-up cost when occurrences are close together (a split at
// "\r\n" or ","); when the first byte keeps matching without the rest, memmem's
// guaranteed linear time takes over.
std::size_t byte_search(const char* base, std::size_t p, std::size_t n, std::string_view sub) {
  const std::size_t m = sub.size();
  if (m == 1) {
    const void* hit = std::memchr(base + p, sub[0], n - p);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - base) : npos;
  }
  std::size_t misses = 0;
  while (p + m <= n) {
    if (misses > 8 + (n - p) / 256) {
      const void* hit = memmem(base + p, n - p, sub.data(), m);
      return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - base) : npos;
    }
    const void* first = std::memchr(base + p, sub[0], n - p - m + 1);
    if (!first) return npos;
    std::size_t q = static_cast<std::size_t>(static_cast<const char*>(first) - base);
    if (base[q + 1] == sub[1] && std::memcmp(base + q + 2, sub.data() + 2, m - 2) == 0) return q;
    p = q + 1;
    ++misses;
  }
  return npos;
}

// Length of the run of lead bytes that ends just before q, looking no further back
// than floor. Eight bytes at a time where the byte order allows: items of Chinese
// words put several lead bytes before most separators.
std::size_t lead_run_before(const char* base, std::size_t floor, std::size_t q) {
  std::size_t r = q;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t high = 0x8080808080808080u, low = 0x7F7F7F7F7F7F7F7Fu, ones = 0x0101010101010101u;
    while (r >= floor + 8) {
      std::uint64_t word;
      std::memcpy(&word, base + r - 8, 8);
      // Bit 7 of a byte: set, low seven bits neither 0 (0x80) nor all ones (0xFF).
      const std::uint64_t low_bits = word & low;
      const std::uint64_t lead = word & ((low_bits + low) & high) & ~((low_bits + ones) & high);
      const std::uint64_t other = ~lead & high;
      if (other != 0) return q - r + static_cast<std::size_t>(std::countl_zero(other)) / 8;
      r -= 8;
    }
  }
  while (r > floor && is_lead_byte(static_cast<unsigned char>(base[r - 1]))) --r;
  return q - r;
}

// The next position at or after p where sub matches and that the character walk
// started at p visits (p itself is such a position), or npos.
//
// A byte search jumps to a candidate; whether the walk visits it follows from the
// run of lead bytes just before it: the position after any other byte is always
// visited (that byte ends a character either way, alone or as a second byte), and
// from there the bytes of the run pair up (a lead byte is a trail byte too). An odd
// run's last lead byte takes the candidate only when that is a trail byte. `known`
// is the furthest position known to be visited, so no byte is walked back over twice.
std::size_t find_exact(std::string_view text, std::string_view sub, std::size_t p) {
  const std::size_t n = text.size(), m = sub.size();
  const char* base = text.data();
  std::size_t known = p;
  while (m <= n && p <= n - m) {
    const std::size_t q = byte_search(base, p, n, sub);
    if (q == npos) return npos;
    if (lead_run_before(base, known, q) % 2 == 0 || !is_trail_byte(static_cast<unsigned char>(base[q])))
      return q;
    // q is the second byte of a pair whose lead byte is visited, so q + 1 is too.
    known = p = q + 1;
  }
  return npos;
}

// The plain character walk; used where a byte search cannot help (case folding).
std::size_t find_walk(std::string_view text, std::string_view sub, std::size_t p, bool ignore_case) {
  const std::size_t n = text.size(), m = sub.size();
  while (m <= n && p <= n - m) {
    if (equal_at(text, p, sub, ignore_case)) return p;
    p += gbk_char_length(text, p);
  }
  return npos;
}

std::size_t find_from(std::string_view text, std::string_view sub, std::size_t p, bool ignore_case) {
  if (ignore_case) {
    // Only letters need folding; a needle without any can use the byte search.
    auto letter = [](char c) { return fold_ascii(c) >= 'A' && fold_ascii(c) <= 'Z'; };
    if (std::any_of(sub.begin(), sub.end(), letter)) return find_walk(text, sub, p, true);
  }
  return find_exact(text, sub, p);
}

int position(std::size_t index) { return static_cast<int>(index) + 1; }

}  // namespace

int txt_length(std::string_view text) { return static_cast<int>(text.size()); }

Text txt_left(std::string_view text, int n) {
  if (n <= 0) return {};
  return Text(text.substr(0, static_cast<std::size_t>(n)));
}

Text txt_right(std::string_view text, int n) {
  if (n <= 0) return {};
  std::size_t k = std::min(text.size(), static_cast<std::size_t>(n));
  return Text(text.substr(text.size() - k));
}

Text txt_mid(std::string_view text, int start, int n) {
  if (start < 1 || n <= 0 || static_cast<std::size_t>(start) > text.size()) return {};
  return Text(text.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n)));
}

int txt_find(std::string_view text, std::string_view sub, std::optional<int> start, bool ignore_case) {
  std::size_t s = start ? static_cast<std::size_t>(std::max(*start - 1, 0)) : 0;
  if (s >= text.size()) return -1;
  if (sub.empty()) return 1;
  std::size_t hit = find_from(text, sub, s, ignore_case);
  return hit == npos ? -1 : position(hit);
}

int txt_find_last(std::string_view text, std::string_view sub, std::optional<int> start, bool ignore_case) {
  std::string_view window = text;
  if (start) {
    if (*start <= 1) return -1;
    window = text.substr(0, static_cast<std::size_t>(*start - 1));
  }
  if (window.empty()) return -1;
  if (sub.empty()) return 1;
  std::size_t last = npos;
  for (std::size_t p = find_from(window, sub, 0, ignore_case); p != npos;
       p = find_from(window, sub, p + gbk_char_length(window, p), ignore_case))
    last = p;
  return last == npos ? -1 : position(last);
}

Text txt_replace(std::string_view text, std::string_view find, std::string_view replacement,
                 std::optional<int> start, std::optional<int> count, bool case_sensitive) {
  std::size_t s = static_cast<std::size_t>(std::max(start.value_or(1) - 1, 0));
  if (text.empty() || find.empty() || (count && *count == 0) || s >= text.size()) return Text(text);
  const bool ignore_case = !case_sensitive;
  const std::size_t limit = count && *count > 0 ? static_cast<std::size_t>(*count) : npos;
  std::size_t size = text.size();
  if (replacement.size() > find.size()) {
    // The text grows: count the hits first, so that it is allocated once.
    std::size_t hits = 0;
    for (std::size_t p = s, hit; hits < limit && (hit = find_from(text, find, p, ignore_case)) != npos;
         p = hit + find.size())
      ++hits;
    size += hits * (replacement.size() - find.size());
  }
  Text out;
  out.reserve(size);
  out.append(text.substr(0, s));
  std::size_t p = s;
  for (std::size_t hit, done = 0; done < limit && (hit = find_from(text, find, p, ignore_case)) != npos;
       ++done) {
    out.append(text.substr(p, hit - p)).append(replacement);
    p = hit + find.size();
  }
  out.append(text.substr(p));
  return out;
}

TextList txt_split(std::string_view text, std::string_view separator, std::optional<int> max_items) {
  TextList items;
  if (text.empty() || (max_items && *max_items <= 0)) return items;
  if (separator.empty()) {
    items.emplace_back(text);
    return items;
  }
  // Find the item ends first, so that the list is allocated once.
  const std::size_t m = separator.size();
  const std::size_t limit = max_items ? static_cast<std::size_t>(*max_items) : npos;
  std::vector<std::size_t> ends;
  std::size_t item_start = 0;
  for (std::size_t hit; ends.size() < limit && (hit = find_exact(text, separator, item_start)) != npos;) {
    ends.push_back(hit);
    item_start = hit + m;
  }
  const bool tail = ends.size() < limit && item_start < text.size();
  items.reserve(ends.size() + (tail ? 1 : 0));
  const char* base = text.data();
  std::size_t begin = 0;
  for (std::size_t end : ends) {
    items.emplace_back(base + begin, end - begin);
    begin = end + m;
  }
  if (tail) items.emplace_back(base + item_start, text.size() - item_start);
  return items;
}

Text txt_trim(std::string_view text) {
  auto space_at = [&](std::size_t p) -> std::size_t {
    if (text[p] == ' ') return 1;
    if (p + 1 < text.size() && byte_at(text, p) == 0xA1 && byte_at(text, p + 1) == 0xA1) return 2;
    return 0;
  };
  std::size_t begin = 0;
  for (std::size_t k; begin < text.size() && (k = space_at(begin)) != 0;) begin += k;
  // Walk forward so that a trailing A1 A1 that is really the end of another pair
  // is not taken for a space.
  std::size_t end = begin;
  for (std::size_t p = begin; p < text.size();) {
    std::size_t k = space_at(p);
    if (k == 0) {
      k = gbk_char_length(text, p);
      end = p + k;
    }
    p += k;
  }
  return Text(text.substr(begin, end - begin));
}

namespace {

template <typename Change>
Text change_case(std::string_view text, Change change) {
  Text out(text);
  for (std::size_t p = 0; p < out.size(); p += gbk_char_length(out, p))
    if (gbk_char_length(out, p) == 1) out[p] = change(out[p]);
  return out;
}

}  // namespace

Text txt_upper(std::string_view text) {
  return change_case(text, [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
}

Text txt_lower(std::string_view text) {
  return change_case(text, [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
}

Text txt_crlf_lines(std::string_view text) {
  Text lines;
  lines.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines += "\r\n";
    } else {
      lines.push_back(c);
    }
  }
  return lines;
}

Text txt_spaces(int n) { return n < 1 ? Text() : Text(static_cast<std::size_t>(n), ' '); }

int txt_compare(std::string_view a, std::string_view b) {
  int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace quill
