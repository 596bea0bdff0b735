#pragma once
// The match collection of a RegexObject, whichever engine filled it.

#include <vector>

#include "base/regex_object.h"

namespace quill {

struct RegexObject::Matches {
  struct Match {
    Text value;
    std::vector<Text> groups;  // unset groups are empty
  };
  std::vector<Match> items;
};

}  // namespace quill
