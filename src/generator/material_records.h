#pragma once
// The records of a taobao.tbk.dg.material.optional.upgrade answer, in the
// shape the XML answer's records have, so one fill step serves both.

#include <string_view>
#include <vector>

#include "base/text.h"
#include "generator/answer_records.h"

namespace quill::generator {

// The shop page of a seller number; "" without one.
inline constexpr std::string_view kShopPageBase =
    "https://store.taobao.com/shop/view_shop.htm?user_number_id=";

// At most limit records (none for limit < 1) from the map_data entries of a
// UTF-8 JSON answer, in order, texts in GBK: the link is the coupon link, else
// the click link; a record with neither is skipped. The seller is the shop's
// title, the price the promotion price, else the discounted one; there is no
// credit score. Tags in texts are removed; a link or picture that is not one
// http(s) URL becomes "". A malformed answer, or one beyond
// openapi::JsonWithinLimits, gives no records.
std::vector<AnswerRecord> ReadMaterialRecords(std::string_view json, int limit);

// The address itself when it is one well-formed http(s) URL, after "https:"
// is put before a protocol-relative "//"; "" otherwise.
Text WellFormedUrl(std::string_view address);

}  // namespace quill::generator
