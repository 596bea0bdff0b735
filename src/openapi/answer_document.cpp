#include "openapi/answer_document.h"

#include <nlohmann/json.hpp>

namespace quill::openapi {
namespace {

constexpr std::string_view kErrorRoot = "error_response";

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view skip_space(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  return text;
}

// The text after the declaration, comments and spaces that may open a document.
std::string_view skip_prolog(std::string_view body) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (body.starts_with(kBom)) body.remove_prefix(kBom.size());
  for (;;) {
    body = skip_space(body);
    const std::string_view close = body.starts_with("<?") ? "?>" : body.starts_with("<!--") ? "-->" : "";
    if (close.empty()) return body;
    const std::size_t end = body.find(close);
    if (end == std::string_view::npos) return {};
    body.remove_prefix(end + close.size());
  }
}

// The name of the element the text starts with, "" when it starts with none.
std::string_view opening_name(std::string_view text) {
  if (!text.starts_with('<')) return {};
  std::size_t end = 1;
  while (end < text.size() && !is_space(text[end]) && text[end] != '>' && text[end] != '/') ++end;
  return text.substr(1, end - 1);
}

Text text_of(const nlohmann::json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_number_integer() || value.is_number_unsigned()) return value.dump();
  return {};
}

}  // namespace

Text ResultRoot(std::string_view method) {
  if (method.starts_with("taobao.")) method.remove_prefix(7);
  Text root(method);
  for (char& c : root)
    if (c == '.') c = '_';
  return root + "_response";
}

AnswerKind ClassifyXmlAnswer(std::string_view body, std::string_view method) {
  const std::string_view document = skip_prolog(body);
  const std::string_view name = opening_name(document);
  const Text result = ResultRoot(method);
  const bool error = name == kErrorRoot;
  if (!error && name != result) return AnswerKind::foreign;
  // A body cut short ends before its root closes.
  std::string_view rest = document;
  while (!rest.empty() && is_space(rest.back())) rest.remove_suffix(1);
  const bool empty_root = rest.ends_with("/>") && rest.find('>') == rest.size() - 1;
  if (!empty_root && !rest.ends_with("</" + Text(name) + ">")) return AnswerKind::foreign;
  return error ? AnswerKind::error : AnswerKind::result;
}

bool JsonWithinLimits(std::string_view text) {
  if (text.size() > kMaxJsonBytes) return false;
  int depth = 0;
  bool in_string = false, escaped = false;
  for (char c : text) {
    if (in_string) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if ((c == '[' || c == '{') && ++depth > kMaxJsonDepth) {
      return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

JsonAnswer ReadJsonAnswer(std::string_view body, std::string_view method) {
  JsonAnswer answer;
  if (!JsonWithinLimits(body)) return answer;
  const nlohmann::json document = nlohmann::json::parse(body, nullptr, false);
  if (!document.is_object()) return answer;
  if (const auto result = document.find(ResultRoot(method));
      result != document.end() && result->is_object()) {
    answer.kind = AnswerKind::result;
    return answer;
  }
  const auto error = document.find(kErrorRoot);
  if (error == document.end() || !error->is_object()) return answer;
  answer.kind = AnswerKind::error;
  auto field = [&error](const char* name) {
    const auto it = error->find(name);
    return it == error->end() ? Text() : text_of(*it);
  };
  answer.code = field("code");
  answer.msg = field("msg");
  answer.sub_code = field("sub_code");
  answer.sub_msg = field("sub_msg");
  return answer;
}

}  // namespace quill::openapi
