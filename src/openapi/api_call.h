#pragma once
// The one entry point to the open platform: a query-string text of business
// parameters in, the answer out as GBK text with entities and escaped markup
// removed, ready to be cut apart by marker search. Empty on any failure.

#include <chrono>
#include <optional>
#include <string_view>

#include "base/text.h"
#include "net/http.h"
#include "openapi/signed_request.h"

namespace quill::openapi {

// How long the platform may take to answer a call.
inline constexpr std::chrono::milliseconds kApiWait = std::chrono::seconds(30);
// A plain call: no user interface to keep alive, the platform's wait.
inline const net::Channel kPlainApiChannel{&NoUiWaiter(), kApiWait, {}};

// What one call came to: no answer at all, an error answer, or neither.
struct ApiOutcome {
  net::Failure transport = net::Failure::none;
  bool error_answer = false;  // the answer holds <error_response>
  Text code, msg, sub_code, sub_msg;

  bool failed() const { return transport != net::Failure::none || error_answer; }
  // Why the call failed, GBK ("超时", "错误 7 App Call Limited"); "" when it did not.
  Text reason() const;
};

struct RetryPolicy {
  int retries = 3;                             // asks after the first; 0 never asks again
  std::chrono::milliseconds first_pause{100};  // doubles for every further retry
  std::chrono::seconds longest_ban{60};        // a named ban beyond this ends the call at once
};

// The pause before retry number `retry` (0 for the first) of a call whose last
// ask came to outcome; nullopt when it is not asked again: a good answer, a
// transport failure, a lasting error, a ban beyond policy.longest_ban, or the
// retries are spent.
std::optional<std::chrono::milliseconds> RetryPause(const ApiOutcome& outcome, int retry,
                                                    const RetryPolicy& policy);

// "a=1&b=2" to pairs: split at "&", then name before the first "=", value up to
// the second "="; nothing decoded or trimmed.
ParamList SplitQueryPairs(std::string_view query);
// Steps after decoding: "amp;" deleted, "&lt;"/"&gt;" to "＜"/"＞", "＜.*?＞" removed.
Text CleanResponse(Text gbk);
// The error fields of a cleaned answer holding <error_response>.
ApiOutcome ReadErrorAnswer(std::string_view cleaned);

// One call, start to end, retries included, while the channel's waiter pumps.
// Without key or secret nothing is sent and the answer is "".
Text CallOpenApi(std::string_view gateway, std::string_view app_key, std::string_view app_secret,
                 std::string_view method, std::string_view business_query, std::string_view session,
                 Text& format, const net::Channel& channel = kPlainApiChannel, ApiOutcome* outcome = nullptr,
                 const RetryPolicy& retry = {});

}  // namespace quill::openapi
