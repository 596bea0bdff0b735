#pragma once
// The business parameters of one keyword's call, per interface.

#include <optional>
#include <string_view>

#include "base/text.h"
#include "openapi/api_interface.h"
#include "openapi/signed_request.h"

namespace quill::generator {

// The ad zone of a PID: the last number of a trimmed "mm_A_B_C", or a PID of
// digits alone; nullopt for anything else (it would only earn an error answer).
std::optional<Text> AdzoneId(std::string_view pid);
// Names both forms AdzoneId takes (GBK), for a refused PID.
std::string_view PidFormMessage();

struct KeywordQuery {
  Text keyword;
  Text pid;
  Text sort;      // the interface's sort value, "" for none
  int page_size;  // sent as it is
};

// Each value whole: a keyword holding "&", "=", "+" or "%" reaches the platform
// as it is.
openapi::ParamList BusinessParams(openapi::ApiInterface api, const KeywordQuery& query);

}  // namespace quill::generator
