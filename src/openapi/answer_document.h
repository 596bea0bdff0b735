#pragma once
// Whether an HTTP body is the platform's answer to a method: its item answer or
// its error answer. Anything else (a proxy's page, an empty or cut body, a
// document for another method) is no answer at all.

#include <cstddef>
#include <string_view>

#include "base/text.h"

namespace quill::openapi {

enum class AnswerKind { result, error, foreign };

// The root element the platform names after the method:
// "taobao.taobaoke.items.get" answers <taobaoke_items_get_response>.
Text ResultRoot(std::string_view method);

// An XML body (UTF-8, as received) whose one root element is the method's
// result root or <error_response>, closed at the end of the body.
AnswerKind ClassifyXmlAnswer(std::string_view body, std::string_view method);

// A JSON text small and shallow enough to be parsed whole: a hostile answer of
// deep nesting or of the transport's full size would otherwise take gigabytes.
// The platform's answers are a few hundred kilobytes, a few levels deep.
inline constexpr std::size_t kMaxJsonBytes = 4u << 20;
inline constexpr int kMaxJsonDepth = 32;
bool JsonWithinLimits(std::string_view text);

struct JsonAnswer {
  AnswerKind kind = AnswerKind::foreign;
  // The error_response's fields, UTF-8, numbers in decimal.
  Text code, msg, sub_code, sub_msg;
};
// A JSON body that is one object holding the method's result root or
// "error_response" as an object; malformed JSON, or JSON beyond the limits
// above, is foreign.
JsonAnswer ReadJsonAnswer(std::string_view body, std::string_view method);

}  // namespace quill::openapi
