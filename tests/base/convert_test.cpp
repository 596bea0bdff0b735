#include "base/convert.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "base/codepage.h"

namespace quill {
namespace {

TEST(ToInt32, FullWidthDigitsFold) {
  EXPECT_EQ(to_int32(gbk("１２")), 12);
  EXPECT_EQ(to_int32(gbk("－４０")), -40);
  EXPECT_EQ(to_int32(gbk("\xE3\x80\x80"
                         "7")),
            7);  // full-width space skipped like a space
}

TEST(ToInt32, CRules) {
  EXPECT_EQ(to_int32("40abc"), 40);
  EXPECT_EQ(to_int32(""), 0);
  EXPECT_EQ(to_int32("abc"), 0);
  EXPECT_EQ(to_int32(" \t+15"), 15);
  EXPECT_EQ(to_int32("-"), 0);
  EXPECT_EQ(to_int32("3.9"), 3);
}

TEST(ToInt32, SaturatesOutOfRange) {
  EXPECT_EQ(to_int32("99999999999999999999"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(to_int32("-2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(to_int32("-99999999999"), std::numeric_limits<std::int32_t>::min());
}

TEST(ToDouble, CRules) {
  EXPECT_EQ(to_double("0.5"), 0.5);
  EXPECT_EQ(to_double("  -2.5e2xyz"), -250.0);
  EXPECT_EQ(to_double(gbk("３．５")), 3.5);
  EXPECT_EQ(to_double(""), 0.0);
  EXPECT_EQ(to_double("x1"), 0.0);
  EXPECT_EQ(to_double("+7"), 7.0);
  EXPECT_EQ(to_double("0x10"), 16.0);
  EXPECT_EQ(to_double(".5"), 0.5);
  EXPECT_TRUE(std::isinf(to_double("1e999")));
  EXPECT_EQ(to_double("1e-999"), 0.0);
  EXPECT_EQ(to_double("--1"), 0.0);
}

TEST(ToText, FormatsNumbers) {
  EXPECT_EQ(to_text(20.0), "20");
  EXPECT_EQ(to_text(0.5), "0.5");
  EXPECT_EQ(to_text(-1.0), "-1");
  EXPECT_EQ(to_text(1.0 / 3.0), "0.3333333333333");
  EXPECT_EQ(to_text(1e20), "1e+20");
  EXPECT_EQ(to_text(1234567890123.0), "1234567890123");
  EXPECT_EQ(to_text(12345678901234.0), "1.234567890123e+13");
  EXPECT_EQ(to_text(0.0001), "0.0001");
  EXPECT_EQ(to_text(0.00001), "1e-05");
  EXPECT_EQ(to_text(std::int32_t{-42}), "-42");
  EXPECT_EQ(to_text(std::numeric_limits<std::int32_t>::min()), "-2147483648");
}

TEST(ToText, IgnoresLocaleDecimalComma) {
  // The window toolkit may switch the C locale; numbers in the settings file must not change.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE locale";
  EXPECT_EQ(to_text(0.5), "0.5");
  EXPECT_EQ(to_double("0.5"), 0.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Bytes, StopAtFirstZero) {
  Bytes bytes{'a', 'b', 0, 'c', 'd'};
  EXPECT_EQ(to_text(bytes), "ab");
  EXPECT_EQ(bytes_to_text(bytes), "ab");
  EXPECT_EQ(to_text(Bytes{'x', 'y'}), "xy");
  EXPECT_EQ(to_text(Bytes{}), "");
  EXPECT_EQ(text_to_bytes(std::string("a\0b", 3)), (Bytes{'a', 0, 'b'}));
  EXPECT_TRUE(text_to_bytes("").empty());
}

TEST(FoldFullWidth, MapsTheNamedPairs) {
  EXPECT_EQ(fold_full_width("\xA3\xA1\xA3\xFE\xA1\xA1\xA1\xAB\xA1\xEE\xA1\xEF"), "!~ ~**");
  EXPECT_EQ(fold_full_width("\xB0\xA1\xA3"), "\xB0\xA1\xA3");  // other pairs and a lone lead byte stay
  EXPECT_EQ(fold_full_width("\xA3\xA0"), "\xA3\xA0");
}

}  // namespace
}  // namespace quill
