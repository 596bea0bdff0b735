#pragma once
// Affiliate links to short links through one of three services.

#include <string_view>

#include "base/text.h"
#include "openapi/endpoints.h"

namespace quill {

// Digits and ASCII letters pass; every other byte becomes %XX (upper case).
Text PercentEncodeGbk(std::string_view gbk);
Text PercentEncodeUtf8(std::string_view gbk);

// Each gives the short link, or "" when the service yielded none.
Text ShortLinkBaidu(std::string_view base_url, std::string_view link);  // service "百度"
Text ShortLinkCnzz(std::string_view base_url, std::string_view link);   // service "CNZZ"
Text ShortLinkBaid(std::string_view base_url, std::string_view link);   // service "Baid"

// Service 0, 1 or 2 replaces the link by its short form; when the service yields
// no link the long one stays. Any other index leaves it and sends nothing.
void ShortenLink(Text& link, int service_index, const Endpoints& endpoints);

}  // namespace quill
