#pragma once
// What a platform call came to, and how an XML answer is cleaned: GBK text
// with entities and escaped markup removed, ready to be cut apart by marker
// search.

#include <chrono>
#include <string_view>

#include "base/text.h"
#include "net/http.h"
#include "openapi/signed_request.h"

namespace quill::openapi {

// How long the platform may take to answer a call.
inline constexpr std::chrono::milliseconds kApiWait = std::chrono::seconds(30);

// What one call came to: no answer at all, an answer that is not the
// platform's, an error answer, or none of these.
struct ApiOutcome {
  net::Failure transport = net::Failure::none;
  // An HTTP answer that is not the platform's answer document: a status
  // outside 2xx whatever the body, or a body of another kind (a proxy's page,
  // nothing, a cut document).
  bool foreign_answer = false;
  long status = 0;            // the HTTP status of a foreign answer
  bool error_answer = false;  // the answer is the platform's error_response
  Text code, msg, sub_code, sub_msg;

  bool failed() const { return transport != net::Failure::none || foreign_answer || error_answer; }
  // Why the call failed, GBK ("超时", "错误 7 App Call Limited"); "" when it did not.
  Text reason() const;
};

// Steps after decoding: "amp;" deleted, "&lt;"/"&gt;" to "＜"/"＞", "＜.*?＞" removed.
Text CleanResponse(Text gbk);
// The error fields of a cleaned answer holding <error_response>.
ApiOutcome ReadErrorAnswer(std::string_view cleaned);
// What the response to a call of method in format ("xml" or "json") came to;
// answer gets the platform's answer: an XML one cleaned, in GBK; a JSON result
// as received, in UTF-8; "" for anything else.
ApiOutcome ReadAnswer(const net::Response& response, std::string_view method, std::string_view format,
                      Text& answer);

}  // namespace quill::openapi
