#pragma once
// The one entry point to the open platform: a query-string text of business
// parameters in, the answer out as GBK text with entities and escaped markup
// removed, ready to be cut apart by marker search. Empty on any failure.

#include <string_view>

#include "base/text.h"
#include "openapi/signed_request.h"

namespace quill {

// "a=1&b=2" to pairs: split at "&", then name before the first "=", value up to
// the second "="; nothing decoded or trimmed.
ParamList SplitQueryPairs(std::string_view query);
// Steps after decoding: "amp;" deleted, "&lt;"/"&gt;" to "＜"/"＞", "＜.*?＞" removed.
Text CleanResponse(Text gbk);

Text CallOpenApi(std::string_view gateway, std::string_view app_key, std::string_view app_secret,
                 std::string_view method, std::string_view business_query, std::string_view session,
                 Text& format);

}  // namespace quill
