#include "openapi/api_call.h"

#include "base/codepage.h"
#include "base/regex_object.h"

namespace quill {
namespace {

// One compiled pattern for the process; replacing is read-only on it.
const RegexObject& markup_remover() {
  static const RegexObject regex = [] {
    RegexObject r;
    r.Create(gbk("＜.*?＞"), false, std::nullopt, true);
    return r;
  }();
  return regex;
}

}  // namespace

ParamList SplitQueryPairs(std::string_view query) {
  ParamList pairs;
  for (const Text& piece : txt_split(query, "&")) {
    TextList parts = txt_split(piece, "=");
    ParamPair pair;
    if (!parts.empty()) pair.name = parts[0];
    if (parts.size() > 1) pair.value = parts[1];
    pairs.push_back(std::move(pair));
  }
  return pairs;
}

Text CleanResponse(Text gbk_text) {
  static const Text full_width_lt = gbk("＜");
  static const Text full_width_gt = gbk("＞");
  Text text = txt_replace(gbk_text, "amp;");
  text = txt_replace(text, "&lt;", full_width_lt);
  text = txt_replace(text, "&gt;", full_width_gt);
  if (txt_find(text, full_width_lt) < 0) return text;
  return markup_remover().ReplaceMatches(text, Text());
}

Text CallOpenApi(std::string_view gateway, std::string_view app_key, std::string_view app_secret,
                 std::string_view method, std::string_view business_query, std::string_view session,
                 Text& format) {
  Bytes answer = SendSignedRequest(gateway, app_key, app_secret, method, SplitQueryPairs(business_query),
                                   session, format);
  if (answer.empty()) return {};
  std::string_view utf8(reinterpret_cast<const char*>(answer.data()), answer.size());
  return CleanResponse(Utf8ToGbk(utf8));
}

}  // namespace quill
