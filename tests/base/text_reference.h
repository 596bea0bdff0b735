#pragma once
// The plain character walk the text primitives must agree with, written without
// their fast paths and with its own idea of a lead byte, for differential tests
// and the fuzz target.

#include <string>
#include <string_view>
#include <vector>

namespace quill::reference {

inline bool lead(char c) {
  auto b = static_cast<unsigned char>(c);
  return b >= 0x81 && b <= 0xFE;
}

inline bool trail(char c) {
  auto b = static_cast<unsigned char>(c);
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}

// Bytes of the character at p: a lead byte with a trail byte after it makes two.
inline std::size_t step(std::string_view text, std::size_t p) {
  return p + 1 < text.size() && lead(text[p]) && trail(text[p + 1]) ? 2 : 1;
}

inline char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// ASCII letters fold only where they are characters of their own in text.
inline bool equal_at(std::string_view text, std::size_t p, std::string_view sub, bool ignore_case) {
  for (std::size_t i = 0; i < sub.size(); ++i) {
    if (step(text, p + i) == 2) {
      if (text.substr(p + i, sub.substr(i, 2).size()) != sub.substr(i, 2)) return false;
      ++i;
    } else if (ignore_case ? upper(text[p + i]) != upper(sub[i]) : text[p + i] != sub[i]) {
      return false;
    }
  }
  return true;
}

// 0-based start of the first match the walk from p visits, or -1.
inline long find(std::string_view text, std::string_view sub, std::size_t p, bool ignore_case = false) {
  while (sub.size() <= text.size() && p <= text.size() - sub.size()) {
    if (equal_at(text, p, sub, ignore_case)) return static_cast<long>(p);
    p += step(text, p);
  }
  return -1;
}

// 1-based position as txt_find gives it.
inline int find_position(std::string_view text, std::string_view sub, std::size_t p,
                         bool ignore_case = false) {
  long at = find(text, sub, p, ignore_case);
  return at < 0 ? -1 : static_cast<int>(at) + 1;
}

inline int find_last(std::string_view window, std::string_view sub) {
  int last = -1;
  for (std::size_t p = 0; sub.size() <= window.size() && p <= window.size() - sub.size();) {
    if (window.substr(p, sub.size()) == sub) last = static_cast<int>(p) + 1;
    p += step(window, p);
  }
  return last;
}

inline std::string replace(std::string_view text, std::string_view find, std::string_view with) {
  std::string out;
  std::size_t p = 0;
  while (find.size() <= text.size() && p <= text.size() - find.size()) {
    if (text.substr(p, find.size()) == find) {
      out.append(with);
      p += find.size();
      continue;
    }
    out.append(text.substr(p, step(text, p)));
    p += step(text, p);
  }
  if (p < text.size()) out.append(text.substr(p));
  return out;
}

inline std::vector<std::string> split(std::string_view text, std::string_view sep) {
  std::vector<std::string> items;
  std::size_t start = 0, p = 0;
  while (sep.size() <= text.size() && p <= text.size() - sep.size()) {
    if (text.substr(p, sep.size()) == sep) {
      items.emplace_back(text.substr(start, p - start));
      start = p = p + sep.size();
      continue;
    }
    p += step(text, p);
  }
  if (start < text.size()) items.emplace_back(text.substr(start));
  return items;
}

// Characters in walk order; a space is " " or the pair A1 A1.
inline std::vector<std::string_view> characters(std::string_view text) {
  std::vector<std::string_view> chars;
  for (std::size_t p = 0; p < text.size(); p += step(text, p)) chars.push_back(text.substr(p, step(text, p)));
  return chars;
}

inline std::string trim(std::string_view text) {
  auto space = [](std::string_view c) { return c == " " || c == "\xA1\xA1"; };
  std::vector<std::string_view> chars = characters(text);
  std::size_t begin = 0, end = chars.size();
  while (begin < end && space(chars[begin])) ++begin;
  while (end > begin && space(chars[end - 1])) --end;
  std::string out;
  for (std::size_t i = begin; i < end; ++i) out.append(chars[i]);
  return out;
}

inline std::string upper_text(std::string_view text) {
  std::string out;
  for (std::string_view c : characters(text))
    out += c.size() == 1 ? std::string(1, upper(c[0])) : std::string(c);
  return out;
}

}  // namespace quill::reference
