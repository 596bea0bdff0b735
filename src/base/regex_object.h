#pragma once
// Regular expressions over GBK text with JavaScript-style syntax, matching by
// character (a double-byte character is one unit). Copies share one engine and
// one match collection; Create or FindMatches on one copy replaces that copy's
// references only. Without an engine every operation gives an empty result.

#include <memory>
#include <optional>

#include "base/text.h"

namespace quill {

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(const RegexObject&);
  RegexObject& operator=(const RegexObject&);

  // Flags not given are true. False (and no engine) when the pattern does not compile.
  bool Create(const Text& pattern, std::optional<bool> ignore_case = std::nullopt,
              std::optional<bool> multi_line = std::nullopt, std::optional<bool> global = std::nullopt);
  Text GetPattern() const;
  // "$1".."$9", "$&" and "$$" in the replacement; Global replaces every match.
  Text ReplaceMatches(const Text& text, const Text& replacement) const;
  int FindMatches(const Text& text);
  int MatchCount() const { return count_; }
  // 1-based; numbers outside the collection give "".
  Text MatchText(int n) const;
  Text SubMatchText(int n, int k) const;
  int SubMatchCount() const;

  struct Engine;
  struct Matches;

 private:
  std::shared_ptr<const Engine> engine_;
  std::shared_ptr<const Matches> matches_;
  int count_ = 0;
};

}  // namespace quill
