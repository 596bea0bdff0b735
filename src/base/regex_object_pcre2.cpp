#include "base/regex_object.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/codepage.h"
#include "base/regex_matches.h"
#include "base/regex_replace.h"

// The engine works on the UTF-8 form of the GBK text in PCRE2's UTF mode, so
// that one pattern element matches one whole character. Options bring PCRE2
// close to JavaScript: \u and \x as JavaScript reads them, a back-reference to an
// unset group matching the empty text, "[]" and "[^]" allowed, "$" at the very
// end only unless multi-line.

namespace quill {

struct RegexObject::Engine {
  Text pattern;
  bool global = true;
  pcre2_code* code = nullptr;
  std::uint32_t groups = 0;

  ~Engine() { pcre2_code_free(code); }
};

namespace {

using MatchData = std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)>;

pcre2_code* compile(const std::string& utf8, bool ignore_case, bool multi_line) {
  std::uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF | PCRE2_ALLOW_EMPTY_CLASS;
  if (ignore_case) options |= PCRE2_CASELESS;
  options |= multi_line ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  if (!context) return nullptr;
  pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8.data()), utf8.size(), options, &error,
                                   &offset, context);
  pcre2_compile_context_free(context);
  if (code) pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);  // an optimisation; failure is harmless
  return code;
}

// Byte length of the UTF-8 character that starts at pos (1 for a stray byte).
std::size_t char_length(std::string_view s, std::size_t pos) {
  unsigned char lead = static_cast<unsigned char>(s[pos]);
  std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return pos + n <= s.size() ? n : s.size() - pos;
}

// Calls found(ovector) for each match from left to right (one match unless
// global); an empty match moves the search on by one character.
template <typename Found>
void for_each_match(const RegexObject::Engine& engine, std::string_view subject, Found found) {
  MatchData data(pcre2_match_data_create_from_pattern(engine.code, nullptr), &pcre2_match_data_free);
  if (!data) return;
  std::size_t start = 0;
  std::uint32_t options = 0;  // the subject is checked once, then trusted
  while (start <= subject.size()) {
    int rc = pcre2_match(engine.code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), start,
                         options, data.get(), nullptr);
    if (rc < 0) return;
    options = PCRE2_NO_UTF_CHECK;
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data.get());
    if (ov[1] < ov[0]) return;  // \K tricks; not worth supporting
    found(ov, static_cast<std::uint32_t>(rc));
    if (!engine.global) return;
    if (ov[1] > ov[0]) {
      start = ov[1];
    } else {
      if (ov[1] >= subject.size()) return;
      start = ov[1] + char_length(subject, ov[1]);
    }
  }
}

std::string_view group_text(std::string_view subject, const PCRE2_SIZE* ov, std::uint32_t k) {
  if (ov[2 * k] == PCRE2_UNSET) return {};
  return subject.substr(ov[2 * k], ov[2 * k + 1] - ov[2 * k]);
}

}  // namespace

bool RegexObject::Create(const Text& pattern, std::optional<bool> ignore_case, std::optional<bool> multi_line,
                         std::optional<bool> global) {
  matches_.reset();
  engine_.reset();
  count_ = 0;
  pcre2_code* code = compile(gbk_to_utf8(pattern), ignore_case.value_or(true), multi_line.value_or(true));
  if (!code) return false;
  auto engine = std::make_shared<Engine>();
  engine->pattern = pattern;
  engine->global = global.value_or(true);
  engine->code = code;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &engine->groups);
  engine_ = std::move(engine);
  return true;
}

Text RegexObject::GetPattern() const { return engine_ ? engine_->pattern : Text(); }

Text RegexObject::ReplaceMatches(const Text& text, const Text& replacement) const {
  if (!engine_) return {};
  std::string subject = gbk_to_utf8(text);
  std::string with = gbk_to_utf8(replacement);
  std::string out;  // UTF-8, the slow but always right result
  Text gbk_out;     // the same, GBK stretches copied from the original
  regex_replace::OffsetMap map(text, subject.size(),
                               [&](std::size_t at) { return char_length(subject, at); });
  std::size_t copied = 0, gbk_copied = 0;
  bool any = false;
  std::string piece;
  for_each_match(*engine_, subject, [&](const PCRE2_SIZE* ov, std::uint32_t) {
    any = true;
    out.append(subject, copied, ov[0] - copied);
    std::size_t g0 = map.to_gbk(ov[0]);
    gbk_out.append(text, gbk_copied, g0 - gbk_copied);
    piece.clear();
    regex_replace::Expand(piece, std::string_view(with), engine_->groups, [&](std::size_t k) {
      return group_text(subject, ov, static_cast<std::uint32_t>(k));
    });
    out += piece;
    if (!piece.empty()) gbk_out += utf8_to_gbk(piece);
    copied = ov[1];
    gbk_copied = map.to_gbk(ov[1]);
  });
  if (!any) return text;  // untouched, byte for byte
  if (map.consistent()) return gbk_out.append(text, gbk_copied, Text::npos);
  out.append(subject, copied, std::string::npos);
  return utf8_to_gbk(out);
}

int RegexObject::FindMatches(const Text& text) {
  matches_.reset();
  count_ = 0;
  if (!engine_) return 0;
  auto found = std::make_shared<Matches>();
  std::string subject = gbk_to_utf8(text);
  std::uint32_t groups = engine_->groups;
  for_each_match(*engine_, subject, [&](const PCRE2_SIZE* ov, std::uint32_t) {
    Matches::Match match;
    match.value = utf8_to_gbk(group_text(subject, ov, 0));
    for (std::uint32_t k = 1; k <= groups; ++k)
      match.groups.push_back(utf8_to_gbk(group_text(subject, ov, k)));
    found->items.push_back(std::move(match));
  });
  count_ = static_cast<int>(found->items.size());
  matches_ = std::move(found);
  return count_;
}

}  // namespace quill
