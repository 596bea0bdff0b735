#pragma once

#include <string_view>

#include "base/text.h"

namespace quill::generator {

inline constexpr std::string_view kDefaultPictureHost = "pics.taobaocdn.com";

// "http://" + host + "/newrank/" + badge name + ".gif"; levels outside 1..20 show
// the top badge "s_crown_5".
Text CreditBadgeUrl(int level, std::string_view picture_host = kDefaultPictureHost);

}  // namespace quill::generator
