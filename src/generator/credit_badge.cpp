#include "generator/credit_badge.h"

#include <array>

namespace quill::generator {

Text CreditBadgeUrl(int level, std::string_view picture_host) {
  static constexpr std::array<std::string_view, 4> kFamilies = {"s_red_", "s_blue_", "s_cap_", "s_crown_"};
  // Outside the scale (a missing or unreadable score included) shows the top badge.
  if (level < 1 || level > 20) level = 20;
  const char number = static_cast<char>('1' + (level - 1) % 5);
  return txt_join("http://", picture_host, "/newrank/", kFamilies[(level - 1) / 5],
                  std::string_view(&number, 1), ".gif");
}

}  // namespace quill::generator
