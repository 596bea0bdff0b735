#include "base/codepage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

namespace quill {
namespace {

using namespace std::string_literals;

struct Cell {
  Text code;
  std::optional<char32_t> unicode;  // none: the independent table has no value
};

// Reads the vector file written by data/make_cp936_vectors.py.
std::vector<Cell> load_vectors() {
  std::ifstream in(QUILL_CP936_VECTORS);
  std::vector<Cell> cells;
  std::vector<int> trails;
  for (int t = 0x40; t <= 0xFE; ++t)
    if (t != 0x7F) trails.push_back(t);
  for (std::string line; std::getline(in, line);) {
    int lead = std::stoi(line.substr(0, 2), nullptr, 16);
    std::istringstream items(line.substr(3));
    std::size_t index = 0;
    for (std::string item; items >> item;) {
      std::size_t star = item.find('*');
      int count = star == std::string::npos ? 1 : std::stoi(item.substr(star + 1));
      std::string value = item.substr(0, star);
      for (int i = 0; i < count; ++i, ++index) {
        Text code = lead == 0 ? Text(1, static_cast<char>(index))
                              : Text{static_cast<char>(lead), static_cast<char>(trails.at(index))};
        std::optional<char32_t> unicode;
        if (value != "-")
          unicode = static_cast<char32_t>(std::stoul(value, nullptr, 16) + static_cast<unsigned>(i));
        cells.push_back({code, unicode});
      }
    }
  }
  return cells;
}

// Windows' user-defined areas, in the order Windows numbers them into the PUA.
std::optional<char32_t> windows_user_defined(unsigned lead, unsigned trail) {
  auto trail_index = [](unsigned t) { return t - 0x40 - (t > 0x7F ? 1 : 0); };
  if (lead >= 0xAA && lead <= 0xAF && trail >= 0xA1) return 0xE000 + (lead - 0xAA) * 94 + (trail - 0xA1);
  if (lead >= 0xF8 && lead <= 0xFE && trail >= 0xA1) return 0xE234 + (lead - 0xF8) * 94 + (trail - 0xA1);
  if (lead >= 0xA1 && lead <= 0xA7 && trail <= 0xA0) return 0xE4C6 + (lead - 0xA1) * 96 + trail_index(trail);
  return std::nullopt;
}

char32_t decode_one(const Text& code) {
  std::u16string u = gbk_to_utf16(code);
  return u.size() == 1 ? u[0] : 0xFFFFFFFF;
}

TEST(Cp936, EveryCodeMatchesTheIndependentTable) {
  std::vector<Cell> cells = load_vectors();
  ASSERT_EQ(cells.size(), 256u + 126u * 190u);
  int checked = 0;
  // The cells Windows fills with PUA code points outside its user-defined areas
  // (unassigned cells of the symbol rows and some of FE) follow on from U+E766.
  char32_t next_other_pua = 0xE766;
  for (const Cell& cell : cells) {
    SCOPED_TRACE(::testing::PrintToString(cell.code));
    char32_t got = decode_one(cell.code);
    if (cell.unicode) {
      ASSERT_EQ(got, *cell.unicode);
      std::u16string back(1, static_cast<char16_t>(*cell.unicode));
      ASSERT_EQ(utf16_to_gbk(back), cell.code);
      ++checked;
      continue;
    }
    if (cell.code.size() == 1) continue;  // single bytes the codec lacks: below
    auto lead = static_cast<unsigned char>(cell.code[0]), trail = static_cast<unsigned char>(cell.code[1]);
    if (std::optional<char32_t> pua = windows_user_defined(lead, trail)) {
      ASSERT_EQ(got, *pua);
    } else {
      ASSERT_EQ(got, next_other_pua++);
    }
    ASSERT_EQ(utf16_to_gbk(std::u16string(1, static_cast<char16_t>(got))), cell.code);
  }
  EXPECT_EQ(next_other_pua, 0xE865u);
  EXPECT_GT(checked, 21000);
}

TEST(Cp936, SingleBytesOutsideTheCodec) {
  EXPECT_EQ(decode_one("\x80"), U'\u20AC');
  EXPECT_EQ(decode_one("\xFF"), U'\uF8F5');
  EXPECT_EQ(decode_one("\x81"), U'\uFFFD');  // a lone lead byte at the end
}

TEST(Cp936, UnmappableBecomesQuestionMark) {
  EXPECT_EQ(utf8_to_gbk("a\xF0\x9F\x98\x80"
                        "b"),
            "a?b");                             // emoji
  EXPECT_EQ(utf8_to_gbk("\xE0\xB8\x81"), "?");  // Thai
  EXPECT_EQ(utf16_to_gbk(u"\xD800x"), "?x");    // lone surrogate
}

TEST(Cp936, InvalidUtf8DoesNotCrash) {
  EXPECT_EQ(utf8_to_gbk("\xC3(ok"), "?(ok");
  EXPECT_EQ(utf8_to_gbk("\xFF\xFE"), "??");
  EXPECT_EQ(utf8_to_gbk("abc\xE4\xB8"), "abc?");
}

// The ASCII runs skip the converter; any byte string, well formed or not, must
// come out as if it had gone through it whole.
TEST(Cp936, Utf8ToGbkAgreesWithTheWholeConversion) {
  const std::vector<std::string> pieces = {"a",
                                           "<",
                                           "\n",
                                           "\xC3",
                                           "\xA9",
                                           "\xE4\xB8\xAD",
                                           "\xE4\xB8",
                                           "\xF0\x9F\x98\x80",
                                           "\xFF",
                                           "\x80",
                                           "\xEF\xBC\x9C",
                                           std::string(1, '\0')};
  std::srand(11);
  for (int round = 0; round < 2000; ++round) {
    std::string utf8;
    for (int i = std::rand() % 10; i > 0; --i)
      utf8 += pieces[static_cast<std::size_t>(std::rand()) % pieces.size()];
    EXPECT_EQ(utf8_to_gbk(utf8), utf16_to_gbk(utf8_to_utf16(utf8)));
  }
}

TEST(Cp936, RoundTripsMixedTextWithNul) {
  Text gbk_text = gbk("信息：") + "\0x"s + gbk("┊*┊");
  EXPECT_EQ(gbk_text.substr(0, 6), "\xD0\xC5\xCF\xA2\xA3\xBA");
  EXPECT_EQ(gbk("┊*┊"), "\xA9\xAE*\xA9\xAE");
  EXPECT_EQ(utf8_to_gbk(gbk_to_utf8(gbk_text)), gbk_text);
  EXPECT_EQ(gbk_to_utf8(""), "");
  EXPECT_EQ(gbk_to_utf16(""), u"");
}

TEST(Cp936, BadGbkGivesReplacementNotCrash) {
  std::string utf8 = gbk_to_utf8(
      "\x81\x20"
      "a\xFE");
  EXPECT_EQ(utf8, "\xEF\xBF\xBD a\xEF\xBF\xBD");
}

TEST(Cp936, ConvertsOnSeveralThreads) {
  Text expected = gbk("女装男装童装");
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i)
        if (utf8_to_gbk(gbk_to_utf8(expected)) != expected) ++failures[static_cast<std::size_t>(t)];
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace quill
