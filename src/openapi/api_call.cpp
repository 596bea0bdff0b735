#include "openapi/api_call.h"

#include "base/codepage.h"
#include "base/extract.h"
#include "base/regex_object.h"
#include "openapi/async_call.h"

namespace quill::openapi {
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

const Text& full_width_lt() {
  static const Text lt = gbk("＜");
  return lt;
}

// A match starts at a "＜" and never crosses a line feed, so only the stretch
// from each "＜" to the end of its line goes through the engine; the rest of the
// answer, most of it, is copied as it is.
Text RemoveMarkup(const Text& text) {
  Text out;
  out.reserve(text.size());
  int copied = 1;  // 1-based position of the first byte not yet handled
  for (int at = txt_find(text, full_width_lt()); at > 0; at = txt_find(text, full_width_lt(), copied)) {
    int line_end = txt_find(text, "\n", at);
    if (line_end < 0) line_end = txt_length(text) + 1;
    out.append(text, static_cast<std::size_t>(copied - 1), static_cast<std::size_t>(at - copied));
    out += markup_remover().ReplaceMatches(txt_mid(text, at, line_end - at), Text());
    copied = line_end;
  }
  out.append(text, static_cast<std::size_t>(copied - 1), std::string::npos);
  return out;
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
  static const Text full_width_gt = gbk("＞");
  Text text = txt_replace(gbk_text, "amp;");
  text = txt_replace(text, "&lt;", full_width_lt());
  text = txt_replace(text, "&gt;", full_width_gt);
  return RemoveMarkup(text);
}

Text ApiOutcome::reason() const {
  if (transport != net::Failure::none) return net::FailureText(transport);
  if (!error_answer) return {};
  static const Text error = gbk("错误 ");
  Text text = txt_join(error, code, " ", msg);
  if (!sub_code.empty()) text += txt_join(" (", sub_code, ")");
  return text;
}

ApiOutcome ReadErrorAnswer(std::string_view cleaned) {
  ApiOutcome outcome;
  // A plain byte search first: most answers are item lists, and no marker
  // search could find what the bytes do not hold.
  if (cleaned.find("<error_response>") == std::string_view::npos) return outcome;
  int pos = 0;
  const Text error = ExtractBetween(cleaned, "<error_response>", "</error_response>", pos);
  if (pos == 0) return outcome;
  outcome.error_answer = true;
  auto field = [&error](std::string_view name) {
    int at = 0;
    return ExtractBetween(error, txt_join("<", name, ">"), txt_join("</", name, ">"), at);
  };
  outcome.code = field("code");
  outcome.msg = field("msg");
  outcome.sub_code = field("sub_code");
  outcome.sub_msg = field("sub_msg");
  return outcome;
}

Text CallOpenApi(std::string_view gateway, std::string_view app_key, std::string_view app_secret,
                 std::string_view method, std::string_view business_query, std::string_view session,
                 Text& format, const net::Channel& channel, ApiOutcome* outcome, const RetryPolicy& retry) {
  ApiCall call({Text(gateway), Text(app_key), Text(app_secret), Text(method), Text(business_query),
                Text(session), format},
               channel, retry);
  call.await();
  format = call.format();
  ApiResult result = call.take();
  if (outcome) *outcome = std::move(result.outcome);
  return std::move(result.answer);
}

}  // namespace quill::openapi
