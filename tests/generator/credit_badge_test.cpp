#include "generator/credit_badge.h"

#include <gtest/gtest.h>

namespace quill::generator {
namespace {

Text badge(int level) { return CreditBadgeUrl(level, "pics.example"); }

TEST(CreditBadgeUrl, FamiliesOfFiveAcrossTheScale) {
  EXPECT_EQ(badge(1), "http://pics.example/newrank/s_red_1.gif");
  EXPECT_EQ(badge(5), "http://pics.example/newrank/s_red_5.gif");
  EXPECT_EQ(badge(6), "http://pics.example/newrank/s_blue_1.gif");
  EXPECT_EQ(badge(15), "http://pics.example/newrank/s_cap_5.gif");
  EXPECT_EQ(badge(16), "http://pics.example/newrank/s_crown_1.gif");
  EXPECT_EQ(badge(20), "http://pics.example/newrank/s_crown_5.gif");
}

TEST(CreditBadgeUrl, OutOfScaleShowsTopBadge) {
  for (int level : {0, -3, 21, 1 << 30, -2147483647 - 1}) EXPECT_EQ(badge(level), badge(20)) << level;
}

TEST(CreditBadgeUrl, DefaultHostIsThePlatformPictureServer) {
  EXPECT_EQ(CreditBadgeUrl(1), "http://pics.taobaocdn.com/newrank/s_red_1.gif");
}

}  // namespace
}  // namespace quill::generator
