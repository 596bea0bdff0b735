#pragma once
// The records of a cleaned platform answer, each read from its own
// <taobaoke_item> element, so a field missing from one record never borrows
// the next record's.

#include <string_view>
#include <vector>

#include "base/text.h"

namespace quill::generator {

struct AnswerRecord {
  Text click_url, nick, pic_url, price, credit_score, shop_click_url, title, volume;
};

// At most limit records (none for limit < 1), in answer order; a record
// without a click_url is skipped, having nothing to send the reader to.
std::vector<AnswerRecord> ReadRecords(std::string_view answer, int limit);

}  // namespace quill::generator
