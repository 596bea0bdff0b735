#include "base/text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <random>

#include "base/codepage.h"
#include "base/convert.h"
#include "base/fs.h"
#include "base/fs_detail.h"
#include "text_reference.h"

namespace quill {
namespace {

using namespace std::string_literals;

// 啊 (B0 A1) and 吖 (85 41): the second byte of the latter is 'A'.
const Text kAh = "\xB0\xA1";
const Text kYaWithA = "\x85\x41";

TEST(TxtFind, FindsFirstOccurrence) {
  EXPECT_EQ(txt_find("abcabc", "c"), 3);
  EXPECT_EQ(txt_find("abc", "x"), -1);
  EXPECT_EQ(txt_find("abcabc", "c", 4), 6);
  EXPECT_EQ(txt_find("abcabc", "abc", 2), 4);
}

TEST(TxtFind, EmptySubDependsOnRegion) {
  EXPECT_EQ(txt_find("abc", ""), 1);
  EXPECT_EQ(txt_find("", ""), -1);
  EXPECT_EQ(txt_find("abc", "", 3), 1);  // 1, not the start
  EXPECT_EQ(txt_find("abc", "", 4), -1);
}

TEST(TxtFind, OutOfRangeStart) {
  EXPECT_EQ(txt_find("abc", "a", 0), 1);
  EXPECT_EQ(txt_find("abc", "a", -5), 1);
  EXPECT_EQ(txt_find("abc", "c", 99), -1);
}

TEST(TxtFind, SkipsSecondByteOfPair) {
  EXPECT_EQ(txt_find(kYaWithA, "A"), -1);
  EXPECT_EQ(txt_find(kYaWithA + "A", "A"), 3);
  // A start on the second byte makes it a character start of its own.
  EXPECT_EQ(txt_find(kYaWithA, "A", 2), 2);
  // Long runs of lead-range bytes before the candidate.
  Text run;
  for (int i = 0; i < 50; ++i) run += kAh;
  EXPECT_EQ(txt_find(run + kYaWithA + "xA", "A"), static_cast<int>(run.size()) + 4);
  EXPECT_EQ(txt_find("x" + run, kAh), 2);
  EXPECT_EQ(txt_find("\xB0" + run + "\xA1", kAh), -1);  // every pair is shifted by one
}

TEST(TxtFind, IgnoreCaseFoldsAsciiOnly) {
  EXPECT_EQ(txt_find("TinyURL", "tinyurl", std::nullopt, true), 1);
  EXPECT_EQ(txt_find("TinyURL", "tinyurl"), -1);
  EXPECT_EQ(txt_find(kYaWithA, "a", std::nullopt, true), -1);
  EXPECT_EQ(txt_find("\x85\x61", "\x85\x41", std::nullopt, true), -1);
}

TEST(TxtFind, NulBytesAndLoneLeadByte) {
  Text with_nul = "a\0b\0c"s;
  EXPECT_EQ(txt_find(with_nul, "\0c"s), 4);
  EXPECT_EQ(txt_find("ab\xB0", "\xB0"), 3);
  EXPECT_EQ(txt_find("ab\xB0", "x"), -1);
}

TEST(TxtFindLast, FindsLastInWindow) {
  EXPECT_EQ(txt_find_last("a,b,c", ","), 4);
  EXPECT_EQ(txt_find_last("aaa", "aa"), 2);
  EXPECT_EQ(txt_find_last("a,b,c", ",", 4), 2);  // window "a,b"
  EXPECT_EQ(txt_find_last("abab", "ab", 4), 1);  // "ab" at 3 is not wholly inside "aba"
  EXPECT_EQ(txt_find_last("abc", "c", 1), -1);
  EXPECT_EQ(txt_find_last("abc", "c", 100), 3);
  EXPECT_EQ(txt_find_last("abc", ""), 1);
  EXPECT_EQ(txt_find_last("", ""), -1);
  EXPECT_EQ(txt_find_last(kYaWithA + "A" + kYaWithA, "A"), 3);
}

TEST(TxtReplace, ReplacesAllWithoutOverlap) {
  EXPECT_EQ(txt_replace("aaa", "aa", "b"), "ba");
  EXPECT_EQ(txt_replace("", "a", "b"), "");
  EXPECT_EQ(txt_replace("abc", "", "x"), "abc");
  EXPECT_EQ(txt_replace("abab", "a", "aa"), "aabaab");  // inserted text not searched again
  EXPECT_EQ(txt_replace("a-b-c", "-"), "abc");
}

TEST(TxtReplace, StartCountAndCase) {
  EXPECT_EQ(txt_replace("aXaXa", "a", "b", 2), "aXbXb");
  EXPECT_EQ(txt_replace("aaaa", "a", "b", std::nullopt, 2), "bbaa");
  EXPECT_EQ(txt_replace("aaaa", "a", "b", std::nullopt, 0), "aaaa");
  EXPECT_EQ(txt_replace("abc", "a", "b", 4), "abc");
  EXPECT_EQ(txt_replace("AbA", "a", "x", std::nullopt, std::nullopt, false), "xbx");
  EXPECT_EQ(txt_replace("AbA", "a", "x"), "AbA");
}

TEST(TxtReplace, KeepsPairsWhole) {
  EXPECT_EQ(txt_replace(kYaWithA + "A", "A", "-"), kYaWithA + "-");
  EXPECT_EQ(txt_replace(kYaWithA + "a", "a", "-", std::nullopt, std::nullopt, false), kYaWithA + "-");
}

TEST(TxtSplit, KeepsInnerDropsTrailingEmpty) {
  EXPECT_EQ(txt_split("a,,b"), (TextList{"a", "", "b"}));
  EXPECT_EQ(txt_split("a,b,"), (TextList{"a", "b"}));
  EXPECT_EQ(txt_split(",a"), (TextList{"", "a"}));
  EXPECT_EQ(txt_split(","), (TextList{""}));
  EXPECT_EQ(txt_split(""), TextList{});
  EXPECT_EQ(txt_split("k1\r\nk2\r\n", "\r\n"), (TextList{"k1", "k2"}));
  EXPECT_EQ(txt_split("abc", ""), (TextList{"abc"}));
}

TEST(TxtSplit, MaxItemsDropsTheRest) {
  EXPECT_EQ(txt_split("a,b,c", ",", 2), (TextList{"a", "b"}));
  EXPECT_EQ(txt_split("a,b,c", ",", 3), (TextList{"a", "b", "c"}));
  EXPECT_EQ(txt_split("a,b,c", ",", 0), TextList{});
  EXPECT_EQ(txt_split("a,b,c", ",", -1), TextList{});
}

TEST(TxtSplit, SeparatorInsidePairIsNotSplit) {
  EXPECT_EQ(txt_split(kYaWithA + "A" + kAh, "A"), (TextList{kYaWithA, kAh}));
}

// A lead byte pairs only with a trail byte (40-7E, 80-FE); before anything else
// (CR, LF, 7F, FF, the end) it stands alone and the next byte is read for itself,
// by the splitter and the converter alike.
TEST(TxtLeadByte, PairsOnlyWithTrailByte) {
  struct Case {
    Text text, separator;
    TextList items;
    std::size_t characters;
  };
  const Case cases[] = {
      {"b\xA1\r\nc", "\r\n", {"b\xA1", "c"}, 5},  // a character cut short keeps its line
      {"\xA1\r\n\xA1\n", "\n", {"\xA1\r", "\xA1"}, 5},
      {"\xB0\xA1\r\nc", "\r\n", {"\xB0\xA1", "c"}, 4},
      {"\x81\x7F,x", "\x7F", {"\x81", ",x"}, 4},
      {"\xFE\xFF,", "\xFF", {"\xFE", ","}, 3},
      {"\xFE\x30,1", "0", {"\xFE", ",1"}, 4},
      {"\xA1\x80x", "\x80", {"\xA1\x80x"}, 2},  // 80 and 40 are trail bytes
      {"\x81\x40,x", "\x40", {"\x81\x40,x"}, 3},
      {"a\xA1", "\xA1", {"a"}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(txt_split(c.text, c.separator), c.items);
    EXPECT_EQ(gbk_to_utf16(c.text).size(), c.characters);
    std::size_t walked = 0;
    for (std::size_t p = 0; p < c.text.size(); p += gbk_char_length(c.text, p)) ++walked;
    EXPECT_EQ(walked, c.characters);
  }
}

TEST(TxtCut, LeftRightMid) {
  EXPECT_EQ(txt_mid("abcdef", 3, 2), "cd");
  EXPECT_EQ(txt_mid("abcdef", 0, 2), "");
  EXPECT_EQ(txt_mid("abcdef", 7, 2), "");
  EXPECT_EQ(txt_mid("abcdef", 5, 99), "ef");
  EXPECT_EQ(txt_mid("abcdef", 2, 0), "");
  EXPECT_EQ(txt_right("abc", 5), "abc");
  EXPECT_EQ(txt_right("abc", 2), "bc");
  EXPECT_EQ(txt_right("abc", -1), "");
  EXPECT_EQ(txt_left("abc", 2), "ab");
  EXPECT_EQ(txt_left("abc", 0), "");
  EXPECT_EQ(txt_left("abc", 9), "abc");
}

TEST(TxtTrim, SpacesAndFullWidthSpaces) {
  Text full = "\xA1\xA1";
  EXPECT_EQ(txt_trim(full + " a b " + full + full), "a b");
  EXPECT_EQ(txt_trim("\ta\t"), "\ta\t");
  EXPECT_EQ(txt_trim(full + "  " + full), "");
  EXPECT_EQ(txt_trim(""), "");
  // B0 A1 A1: the A1 A1 at the end is not a pair of its own.
  EXPECT_EQ(txt_trim("\xB0\xA1\xA1"), "\xB0\xA1\xA1");
  EXPECT_EQ(txt_trim("x\xB0"), "x\xB0");
}

TEST(TxtCase, AsciiOnlyPairsUnchanged) {
  EXPECT_EQ(txt_upper("ab" + kYaWithA + "\x85\x61z"), "AB" + kYaWithA + "\x85\x61Z");
  EXPECT_EQ(txt_lower("AB\x85\x41Z"), "ab\x85\x41z");
  EXPECT_EQ(txt_upper("a\xB0"), "A\xB0");
}

TEST(TxtMisc, SpacesJoinCompare) {
  EXPECT_EQ(txt_spaces(3), "   ");
  EXPECT_EQ(txt_spaces(0), "");
  EXPECT_EQ(txt_join("a", "b", Text("c")), "abc");
  EXPECT_EQ(txt_compare("a", "b"), -1);
  EXPECT_EQ(txt_compare("", ""), 0);
  EXPECT_EQ(txt_compare("\xB0", "a"), 1);  // unsigned bytes
  EXPECT_EQ(txt_compare("ab", "a"), 1);
  EXPECT_EQ(txt_length("a\xB0\xA1"), 3);
}

// ---- fast paths against the plain character walk --------------------------

// Few distinct bytes, so that candidates often fall on second bytes; invalid
// pairs (lead byte + low byte) and lone lead bytes included.
Text random_gbk(std::mt19937& rng, std::size_t length) {
  static const unsigned char alphabet[] = {'a',  'A',  ',',  '\r', '\n', 0x00, 0x41,
                                           0x85, 0xB0, 0xA1, 0xC4, 0xE3, 0x80, 0xFF};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
  Text text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(alphabet[pick(rng)]);
  return text;
}

// Lead bytes only, the range ends included: long runs before a candidate.
Text lead_run(std::mt19937& rng, std::size_t length) {
  static const unsigned char leads[] = {0x81, 0x85, 0xA1, 0xB0, 0xC4, 0xFE};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof leads - 1);
  Text run;
  for (std::size_t i = 0; i < length; ++i) run += static_cast<char>(leads[pick(rng)]);
  return run;
}

TEST(TxtFastPath, MatchesCharacterWalk) {
  std::mt19937 rng(20261208);
  std::uniform_int_distribution<std::size_t> length(0, 60), sub_length(1, 3);
  for (int round = 0; round < 20000; ++round) {
    Text text = random_gbk(rng, length(rng));
    if (round % 2) text = random_gbk(rng, length(rng) / 4) + lead_run(rng, length(rng) / 2) + text;
    Text sub = random_gbk(rng, sub_length(rng));
    Text with = random_gbk(rng, sub_length(rng) + sub_length(rng) - 2);  // shorter, as long or longer
    std::uniform_int_distribution<int> start(0, static_cast<int>(text.size()) + 1);
    int s = start(rng);
    SCOPED_TRACE(::testing::PrintToString(text) + " / " + ::testing::PrintToString(sub));
    ASSERT_EQ(txt_find(text, sub), reference::find_position(text, sub, 0));
    ASSERT_EQ(txt_find(text, sub, std::nullopt, true), reference::find_position(text, sub, 0, true));
    std::size_t region = static_cast<std::size_t>(std::max(s - 1, 0));
    ASSERT_EQ(txt_find(text, sub, s),
              region >= text.size() ? -1 : reference::find_position(text, sub, region));
    ASSERT_EQ(txt_find_last(text, sub), reference::find_last(text, sub));
    ASSERT_EQ(txt_find_last(text, sub, s),
              s <= 1 ? -1 : reference::find_last(std::string_view(text).substr(0, region), sub));
    ASSERT_EQ(txt_replace(text, sub, with), reference::replace(text, sub, with));
    ASSERT_EQ(txt_split(text, sub), reference::split(text, sub));
    ASSERT_EQ(txt_trim(text), reference::trim(text));
    ASSERT_EQ(txt_upper(text), reference::upper_text(text));
  }
}

TEST(TxtCodepage, ChineseLiteralsSearchable) {
  Text text = gbk("女装,男装，童装");
  EXPECT_EQ(txt_split(text, ","), (TextList{gbk("女装"), gbk("男装，童装")}));
  EXPECT_EQ(txt_find(text, gbk("童装")), 12);
}

// Every character the code-page converter writes is one character to the text
// layer: as many bytes as the converter wrote, never more, never fewer.
TEST(TxtCodepage, EveryConvertedCharacterIsOneCharacter) {
  int checked = 0;
  for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    Text g = utf16_to_gbk(std::u16string(1, static_cast<char16_t>(c)));
    if (g.empty() || (g == "?" && c != U'?')) continue;
    SCOPED_TRACE(::testing::PrintToString(g));
    ASSERT_LE(g.size(), 2u);
    ASSERT_EQ(txt_split(g + "\r\n" + g + "\r\n", "\r\n"), (TextList{g, g}));
    ASSERT_EQ(txt_find(g + ",", ","), static_cast<int>(g.size()) + 1);
    ASSERT_EQ(txt_upper(g + "a"), txt_upper(g) + "A");
    if (g.size() == 2) {
      Text second = g.substr(1);
      if (second[0] != g[0]) {
        ASSERT_EQ(txt_find(g, second), -1);
      }
      ASSERT_EQ(txt_find_last(g + second, second), 3);
    }
    ++checked;
  }
  EXPECT_GT(checked, 20000);
}

TEST(TxtCodepage, EuroAndFfStandAlone) {
  const Text euro = gbk("€");
  ASSERT_EQ(euro, "\x80");
  EXPECT_EQ(txt_split(gbk("欧元价€\r\n连衣裙"), "\r\n"), (TextList{gbk("欧元价€"), gbk("连衣裙")}));
  for (const Text& single : {euro, Text("\xFF")}) {
    EXPECT_EQ(txt_find(single + "a", "a"), 2);
    EXPECT_EQ(txt_find_last(single + ",", ","), 2);
    EXPECT_EQ(txt_replace(single + "a", "a", "b"), single + "b");
    EXPECT_EQ(txt_upper(single + "a"), single + "A");
    EXPECT_EQ(txt_lower(single + "A"), single + "a");
    EXPECT_EQ(txt_trim(single + "\xA1\xA1"), single);
    EXPECT_EQ(fold_full_width(single + "\xA3\xB1"), single + "1");  // full-width 1
    std::string path = "a" + std::string(kPathSeparator) + single + std::string(kPathSeparator) + "b";
    EXPECT_EQ(fs_detail::last_separator(path), 3u);
  }
}

}  // namespace
}  // namespace quill
