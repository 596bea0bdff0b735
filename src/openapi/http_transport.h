#pragma once
// One HTTP request on a worker thread of its own while the caller keeps pumping
// the user interface. The wait time counts again from the last moment events were
// pumped; headless it is a plain deadline. Body returned unaltered; empty Bytes on
// any failure, refusal, time-out, a bad URL, an answer over kMaxBodyBytes, or
// when the user has asked the program to end. The HTTP status is not examined.

#include <cstddef>
#include <string_view>

#include "base/convert.h"

namespace quill {

inline constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
inline constexpr std::size_t kMaxBodyBytes = 64u * 1024 * 1024;
inline constexpr int kApiWaitSeconds = 30;
inline constexpr int kShortLinkWaitSeconds = 90;

// method: "POST", or "" / "GET" for GET (any other method, or wait_seconds <= 0,
// gives empty Bytes without a request). A POST with a body carries the form
// content type and its length.
Bytes HttpRequest(std::string_view url, std::string_view method, std::string_view body, int wait_seconds);

}  // namespace quill
