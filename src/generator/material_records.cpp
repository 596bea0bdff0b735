#include "generator/material_records.h"

#include <nlohmann/json.hpp>

#include "openapi/answer_document.h"
#include "openapi/api_call.h"
#include "openapi/api_interface.h"

namespace quill::generator {
namespace {

using nlohmann::json;

const json& member(const json& object, const char* name) {
  static const json none;
  if (!object.is_object()) return none;
  const auto it = object.find(name);
  return it == object.end() ? none : *it;
}

// Strings as they are, whole numbers in decimal; anything else is "".
Text raw_text(const json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_number_integer() || value.is_number_unsigned()) return value.dump();
  return {};
}

// A text for the page: GBK, with tags removed as the XML answer's escaped
// ones are.
Text page_text(const json& value) {
  Text text = openapi::Utf8ToGbk(raw_text(value));
  text = txt_replace(text, "<", "&lt;");
  text = txt_replace(text, ">", "&gt;");
  return openapi::CleanResponse(std::move(text));
}

Text url_of(const json& value) { return WellFormedUrl(raw_text(value)); }

bool host_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Printable ASCII that cannot end an attribute or start markup.
bool url_char(char c) {
  return c > ' ' && c < 0x7F && c != '"' && c != '\'' && c != '<' && c != '>' && c != '\\' && c != '`';
}

AnswerRecord record_of(const json& entry) {
  const json& basic = member(entry, "item_basic_info");
  const json& price = member(entry, "price_promotion_info");
  const json& publish = member(entry, "publish_info");
  AnswerRecord record;
  record.click_url = url_of(member(publish, "coupon_share_url"));
  if (record.click_url.empty()) record.click_url = url_of(member(publish, "click_url"));
  record.nick = page_text(member(basic, "shop_title"));
  record.pic_url = url_of(member(basic, "pict_url"));
  record.price = page_text(member(price, "final_promotion_price"));
  if (record.price.empty()) record.price = page_text(member(price, "zk_final_price"));
  const Text seller = raw_text(member(basic, "seller_id"));
  if (!seller.empty()) record.shop_click_url = WellFormedUrl(Text(kShopPageBase) + seller);
  record.title = page_text(member(basic, "title"));
  record.volume = page_text(member(basic, "volume"));
  return record;
}

}  // namespace

Text WellFormedUrl(std::string_view address) {
  Text url = address.starts_with("//") ? "https:" + Text(address) : Text(address);
  const std::size_t scheme = url.starts_with("http://") ? 7 : url.starts_with("https://") ? 8 : 0;
  if (scheme == 0) return {};
  std::size_t at = scheme;
  while (at < url.size() && host_char(url[at])) ++at;
  if (at == scheme) return {};
  if (at < url.size() && url[at] == ':') {
    const std::size_t port = ++at;
    while (at < url.size() && url[at] >= '0' && url[at] <= '9') ++at;
    if (at == port) return {};
  }
  if (at < url.size() && url[at] != '/' && url[at] != '?' && url[at] != '#') return {};
  for (; at < url.size(); ++at)
    if (!url_char(url[at])) return {};
  return url;
}

std::vector<AnswerRecord> ReadMaterialRecords(std::string_view answer, int limit) {
  std::vector<AnswerRecord> records;
  if (!openapi::JsonWithinLimits(answer)) return records;
  const json document = json::parse(answer, nullptr, false);
  const json& result = member(document, openapi::ResultRoot(openapi::kMaterialOptionalMethod).c_str());
  const json& entries = member(member(result, "result_list"), "map_data");
  if (!entries.is_array()) return records;
  for (const json& entry : entries) {
    if (static_cast<int>(records.size()) >= limit) break;
    AnswerRecord record = record_of(entry);
    if (!record.click_url.empty()) records.push_back(std::move(record));
  }
  return records;
}

}  // namespace quill::generator
