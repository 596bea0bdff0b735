// The regular expressions for Windows, on Boost.Regex used header-only (Debian
// packages no PCRE2 for mingw, and the C++ library's engine recurses once per
// character, so a long line overflows the stack). Perl syntax with the options
// that bring it close to JavaScript: "." stops at a line end, "$" is the very
// end unless multi-line. The engine works on the UTF-16 form of the GBK text:
// every GBK character is one UTF-16 unit, so one pattern element matches one
// whole character.
#include <boost/regex.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "base/regex_matches.h"
#include "base/regex_object.h"
#include "base/regex_replace.h"

namespace quill {

struct RegexObject::Engine {
  Text pattern;
  bool global = true;
  boost::wregex code;
};

namespace {

using Subject = std::wstring;
using Found = boost::match_results<Subject::const_iterator>;

Subject to_wide(std::string_view gbk) {
  std::u16string wide = gbk_to_utf16(gbk);
  return Subject(wide.begin(), wide.end());
}

// Every character beyond ASCII goes to the engine as a \x{XXXX} escape, so no
// look-alike (the full-width "（") can ever be read as syntax, and literal
// wherever it stands ("\中" is "中", as in JavaScript); JavaScript's \uXXXX is
// the same escape.
bool hex4(std::wstring_view digits) {
  return digits.size() == 4 && digits.find_first_not_of(L"0123456789abcdefABCDEF") == std::wstring_view::npos;
}

Subject pattern_for_engine(std::string_view gbk) {
  const Subject wide = to_wide(gbk);
  Subject out;
  out.reserve(wide.size() * 2);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    wchar_t c = wide[i];
    if (c == L'\\' && i + 1 < wide.size() && wide[i + 1] >= 0x80) c = wide[++i];
    if (c == L'\\' && i + 5 < wide.size() && wide[i + 1] == L'u' && hex4(wide.substr(i + 2, 4))) {
      out += L"\\x{" + wide.substr(i + 2, 4) + L"}";
      i += 5;
      continue;
    }
    if (c < 0x80) {
      out += c;
      if (c == L'\\' && i + 1 < wide.size()) out += wide[++i];
      continue;
    }
    wchar_t escape[12];
    std::swprintf(escape, 12, L"\\x{%04X}", static_cast<unsigned>(c));
    out += escape;
  }
  return out;
}

Text to_gbk(std::wstring_view wide) { return utf16_to_gbk(std::u16string(wide.begin(), wide.end())); }

// Calls found(match) for each match from left to right (one match unless
// global); an empty match moves the search on by one character. A match the
// engine gives up on ends the search.
template <typename OnMatch>
void for_each_match(const RegexObject::Engine& engine, const Subject& subject, OnMatch on_match) {
  auto start = subject.begin();
  auto flags = boost::match_default | boost::match_not_dot_newline;
  Found found;
  try {
    while (start <= subject.end() && boost::regex_search(start, subject.end(), found, engine.code, flags)) {
      on_match(found);
      if (!engine.global) return;
      start = found[0].second;
      if (found[0].length() == 0) {
        if (start == subject.end()) return;
        ++start;
      }
      flags |= boost::match_prev_avail;
    }
  } catch (const std::exception&) {
  }
}

}  // namespace

bool RegexObject::Create(const Text& pattern, std::optional<bool> ignore_case, std::optional<bool> multi_line,
                         std::optional<bool> global) {
  matches_.reset();
  engine_.reset();
  count_ = 0;
  boost::regex::flag_type flags = boost::regex::perl;
  if (ignore_case.value_or(true)) flags |= boost::regex::icase;
  if (!multi_line.value_or(true)) flags |= boost::regex::no_mod_m;
  auto engine = std::make_shared<Engine>();
  try {
    engine->code.assign(pattern_for_engine(pattern), flags);
  } catch (const std::exception&) {
    return false;
  }
  engine->pattern = pattern;
  engine->global = global.value_or(true);
  engine_ = std::move(engine);
  return true;
}

Text RegexObject::GetPattern() const { return engine_ ? engine_->pattern : Text(); }

Text RegexObject::ReplaceMatches(const Text& text, const Text& replacement) const {
  if (!engine_) return {};
  const Subject subject = to_wide(text);
  const Subject with = to_wide(replacement);
  Subject out;   // UTF-16, the slow but always right result
  Text gbk_out;  // the same, GBK stretches copied from the original
  regex_replace::OffsetMap map(text, subject.size(), [](std::size_t) { return std::size_t{1}; });
  std::size_t copied = 0, gbk_copied = 0;
  bool any = false;
  Subject piece;
  for_each_match(*engine_, subject, [&](const Found& found) {
    any = true;
    const auto begin = static_cast<std::size_t>(found[0].first - subject.begin());
    const auto end = static_cast<std::size_t>(found[0].second - subject.begin());
    out.append(subject, copied, begin - copied);
    const std::size_t g0 = map.to_gbk(begin);
    gbk_out.append(text, gbk_copied, g0 - gbk_copied);
    piece.clear();
    regex_replace::Expand(piece, std::wstring_view(with), found.size() - 1, [&](std::size_t k) {
      return found[static_cast<int>(k)].matched ? found[static_cast<int>(k)].str() : Subject();
    });
    out += piece;
    gbk_out += to_gbk(piece);
    copied = end;
    gbk_copied = map.to_gbk(end);
  });
  if (!any) return text;  // untouched, byte for byte
  if (map.consistent()) return gbk_out.append(text, gbk_copied, Text::npos);
  out.append(subject, copied, Subject::npos);
  return to_gbk(out);
}

int RegexObject::FindMatches(const Text& text) {
  matches_.reset();
  count_ = 0;
  if (!engine_) return 0;
  auto collected = std::make_shared<Matches>();
  const Subject subject = to_wide(text);
  for_each_match(*engine_, subject, [&](const Found& found) {
    Matches::Match match;
    match.value = to_gbk(found[0].str());
    for (std::size_t k = 1; k < found.size(); ++k)
      match.groups.push_back(found[k].matched ? to_gbk(found[k].str()) : Text());
    collected->items.push_back(std::move(match));
  });
  count_ = static_cast<int>(collected->items.size());
  matches_ = std::move(collected);
  return count_;
}

}  // namespace quill
