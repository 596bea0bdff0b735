#include "base/clock.h"

#include <gtest/gtest.h>

namespace quill {
namespace {

TEST(Clock, FieldsOfAFixedOffsetTime) {
  // 2024-02-29 23:30:15 UTC is 2024-03-01 07:30:15 at +8 h.
  auto when = std::chrono::sys_days{std::chrono::year{2024} / 2 / 29} + std::chrono::hours{23} +
              std::chrono::minutes{30} + std::chrono::seconds{15};
  DateTime t = time_at_offset(when, std::chrono::hours{8});
  EXPECT_EQ(date_field(t, DateField::year), 2024);
  EXPECT_EQ(date_field(t, DateField::month), 3);
  EXPECT_EQ(date_field(t, DateField::day), 1);
  EXPECT_EQ(date_field(t, DateField::hour), 7);
  EXPECT_EQ(date_field(t, DateField::minute), 30);
  EXPECT_EQ(date_field(t, DateField::second), 15);
}

TEST(Clock, NowIsPlausible) {
  DateTime now = now_local();
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_LE(now.second, 60);
}

}  // namespace
}  // namespace quill
