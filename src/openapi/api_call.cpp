#include "openapi/api_call.h"

#include "base/codepage.h"
#include "base/convert.h"
#include "base/extract.h"
#include "base/regex_object.h"
#include "openapi/answer_document.h"

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

Text CleanResponse(Text gbk_text) {
  static const Text full_width_gt = gbk("＞");
  Text text = txt_replace(gbk_text, "amp;");
  text = txt_replace(text, "&lt;", full_width_lt());
  text = txt_replace(text, "&gt;", full_width_gt);
  return RemoveMarkup(text);
}

Text ApiOutcome::reason() const {
  if (transport != net::Failure::none) return net::FailureText(transport);
  if (foreign_answer)
    return txt_join(gbk("不是开放平台的回答（HTTP "), to_text(static_cast<int>(status)), gbk("）"));
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

ApiOutcome ReadAnswer(const net::Response& response, std::string_view method, std::string_view format,
                      Text& answer) {
  answer.clear();
  ApiOutcome outcome;
  if (!response.ok()) {
    outcome.transport = response.failure;
    return outcome;
  }
  const std::string_view body(reinterpret_cast<const char*>(response.body.data()), response.body.size());
  const bool json = format == "json";
  // A proxy's or a server's error page is no answer, whatever it holds.
  const bool success = response.status >= 200 && response.status < 300;
  JsonAnswer read;
  if (success && json) read = ReadJsonAnswer(body, method);
  if (success && !json) read.kind = ClassifyXmlAnswer(body, method);
  if (read.kind == AnswerKind::foreign) {
    outcome.foreign_answer = true;
    outcome.status = response.status;
    return outcome;
  }
  if (!json) {
    answer = CleanResponse(Utf8ToGbk(body));
    return ReadErrorAnswer(answer);
  }
  if (read.kind == AnswerKind::result) answer = Text(body);
  outcome.error_answer = read.kind == AnswerKind::error;
  outcome.code = Utf8ToGbk(read.code);
  outcome.msg = Utf8ToGbk(read.msg);
  outcome.sub_code = Utf8ToGbk(read.sub_code);
  outcome.sub_msg = Utf8ToGbk(read.sub_msg);
  return outcome;
}

}  // namespace quill::openapi
