// What a RegexObject does the same over every engine: copies, and reading the
// match collection.
#include "base/regex_matches.h"
#include "base/regex_object.h"

namespace quill {

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject&) = default;
RegexObject& RegexObject::operator=(const RegexObject&) = default;

Text RegexObject::MatchText(int n) const {
  if (!matches_ || n < 1 || n > static_cast<int>(matches_->items.size())) return {};
  return matches_->items[n - 1].value;
}

Text RegexObject::SubMatchText(int n, int k) const {
  if (!matches_ || n < 1 || n > static_cast<int>(matches_->items.size())) return {};
  const auto& groups = matches_->items[n - 1].groups;
  if (k < 1 || k > static_cast<int>(groups.size())) return {};
  return groups[k - 1];
}

int RegexObject::SubMatchCount() const {
  if (count_ == 0 || !matches_ || matches_->items.empty()) return 0;
  return static_cast<int>(matches_->items.front().groups.size());
}

}  // namespace quill
