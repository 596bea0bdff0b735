#pragma once
// The open platform's signed REST request: system parameters added, pairs sorted
// by name, empty pairs dropped, values in UTF-8, MD5 signature over
// secret + name1 value1 ... + secret, posted as a form to the gateway.

#include <string_view>
#include <vector>

#include "base/clock.h"
#include "base/convert.h"
#include "base/text.h"
#include "net/http.h"

namespace quill::openapi {

struct ParamPair {
  Text name;
  Text value;
  friend bool operator==(const ParamPair&, const ParamPair&) = default;
};
using ParamList = std::vector<ParamPair>;

// GBK to UTF-8 bytes (no terminating zero) and back (text up to the first zero;
// characters GBK lacks become "?").
Text GbkToUtf8(std::string_view gbk);
Text Utf8ToGbk(std::string_view utf8);

// 32 upper-case hexadecimal digits of the MD5 digest.
Text Md5UpperHex(std::string_view bytes);
// yyyy-MM-dd HH:mm:ss.
Text FormatTimestamp(const DateTime& when);
// The platform reads timestamps as Beijing time (GMT+8, no daylight saving).
DateTime PlatformTimeNow();

struct SignedForm {
  ParamList pairs;    // sorted, filtered, values in UTF-8
  Text signing_text;  // secret + names and values + secret
  Text signature;
  Text body;  // percent-encoded form, ending in "&sign=" + signature
};

// Empty result (no pairs, no body) when key or secret is empty; format "" becomes "xml".
SignedForm BuildSignedForm(std::string_view app_key, std::string_view app_secret, std::string_view method,
                           const ParamList& business, std::string_view session, Text& format,
                           const DateTime& timestamp);

// Builds and posts the form to the gateway URL. Nothing is sent (bad_request)
// when the key or the secret is empty.
net::Response SendSignedRequest(std::string_view gateway, std::string_view app_key,
                                std::string_view app_secret, std::string_view method,
                                const ParamList& business, std::string_view session, Text& format,
                                const net::Channel& channel);

}  // namespace quill::openapi
