#include "generator/api_request.h"

#include "base/codepage.h"
#include "base/convert.h"

namespace quill::generator {
namespace {

// The platform's ad zone numbers are 64-bit.
constexpr std::size_t kMaxDigits = 18;

bool digits(std::string_view text) {
  if (text.empty() || text.size() > kMaxDigits) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

std::optional<Text> AdzoneId(std::string_view pid) {
  const Text trimmed = txt_trim(pid);
  if (digits(trimmed)) return trimmed;
  if (!trimmed.starts_with("mm_")) return std::nullopt;
  const TextList parts = txt_split(std::string_view(trimmed).substr(3), "_");
  if (parts.size() != 3) return std::nullopt;
  for (const Text& part : parts)
    if (!digits(part)) return std::nullopt;
  return parts[2];
}

std::string_view PidFormMessage() {
  static const Text message =
      gbk("PID 应为 mm_数字_数字_数字（如 mm_123_456_789），或只写推广位 ID（adzone_id，只含数字）。");
  return message;
}

openapi::ParamList BusinessParams(openapi::ApiInterface api, const KeywordQuery& query) {
  static constexpr std::string_view kFields =
      "num_iid,title,nick,pic_url,price,click_url,shop_click_url,seller_credit_score,item_location,volume";
  if (api == openapi::ApiInterface::items_get)
    return {{"keyword", query.keyword}, {"pid", query.pid}, {"fields", Text(kFields)},
            {"sort", query.sort},       {"page_no", "1"},   {"page_size", to_text(query.page_size)}};
  return {{"q", query.keyword},
          {"adzone_id", AdzoneId(query.pid).value_or("")},
          {"page_size", to_text(query.page_size)},
          {"page_no", "1"},
          {"sort", query.sort}};
}

}  // namespace quill::generator
