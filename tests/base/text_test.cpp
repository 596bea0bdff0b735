#include "base/text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <random>

#include "base/codepage.h"

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

// Case folding of single-byte characters only.
bool walk_equal(std::string_view text, std::size_t p, std::string_view sub, bool ignore_case) {
  for (std::size_t i = 0; i < sub.size(); ++i) {
    auto c = static_cast<unsigned char>(text[p + i]);
    if (is_lead_byte(c)) {
      if (text.substr(p + i, sub.substr(i, 2).size()) != sub.substr(i, 2)) return false;
      ++i;
    } else if (auto d = static_cast<unsigned char>(sub[i]);
               ignore_case ? std::toupper(c) != std::toupper(d) : c != d) {
      return false;
    }
  }
  return true;
}

int walk_find(std::string_view text, std::string_view sub, std::size_t p, bool ignore_case = false) {
  while (sub.size() <= text.size() && p <= text.size() - sub.size()) {
    if (walk_equal(text, p, sub, ignore_case)) return static_cast<int>(p) + 1;
    if (is_lead_byte(static_cast<unsigned char>(text[p])) && p + 1 >= text.size()) break;
    p += is_lead_byte(static_cast<unsigned char>(text[p])) ? 2 : 1;
  }
  return -1;
}

int walk_find_last(std::string_view window, std::string_view sub) {
  int last = -1;
  for (std::size_t p = 0; sub.size() <= window.size() && p <= window.size() - sub.size();) {
    if (window.substr(p, sub.size()) == sub) last = static_cast<int>(p) + 1;
    if (is_lead_byte(static_cast<unsigned char>(window[p])) && p + 1 >= window.size()) break;
    p += is_lead_byte(static_cast<unsigned char>(window[p])) ? 2 : 1;
  }
  return last;
}

Text walk_replace(std::string_view text, std::string_view find, std::string_view with) {
  Text out;
  std::size_t p = 0;
  while (find.size() <= text.size() && p <= text.size() - find.size()) {
    if (text.substr(p, find.size()) == find) {
      out.append(with);
      p += find.size();
      continue;
    }
    std::size_t k = is_lead_byte(static_cast<unsigned char>(text[p])) && p + 1 < text.size() ? 2 : 1;
    out.append(text.substr(p, k));
    p += k;
  }
  if (p < text.size()) out.append(text.substr(p));
  return out;
}

TextList walk_split(std::string_view text, std::string_view sep) {
  TextList items;
  std::size_t start = 0, p = 0;
  while (sep.size() <= text.size() && p <= text.size() - sep.size()) {
    if (text.substr(p, sep.size()) == sep) {
      items.emplace_back(text.substr(start, p - start));
      start = p = p + sep.size();
      continue;
    }
    if (is_lead_byte(static_cast<unsigned char>(text[p])) && p + 1 >= text.size()) break;
    p += is_lead_byte(static_cast<unsigned char>(text[p])) ? 2 : 1;
  }
  if (start < text.size()) items.emplace_back(text.substr(start));
  return items;
}

// Few distinct bytes, so that candidates often fall on second bytes; invalid
// pairs (lead byte + low byte) and lone lead bytes included.
Text random_gbk(std::mt19937& rng, std::size_t length) {
  static const unsigned char alphabet[] = {'a',  'A',  ',',  '\r', '\n', 0x00,
                                           0x41, 0x85, 0xB0, 0xA1, 0xC4, 0xE3};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
  Text text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(alphabet[pick(rng)]);
  return text;
}

TEST(TxtFastPath, MatchesCharacterWalk) {
  std::mt19937 rng(20261208);
  std::uniform_int_distribution<std::size_t> length(0, 60), sub_length(1, 3);
  for (int round = 0; round < 20000; ++round) {
    Text text = random_gbk(rng, length(rng));
    Text sub = random_gbk(rng, sub_length(rng));
    std::uniform_int_distribution<int> start(0, static_cast<int>(text.size()) + 1);
    int s = start(rng);
    SCOPED_TRACE(::testing::PrintToString(text) + " / " + ::testing::PrintToString(sub));
    ASSERT_EQ(txt_find(text, sub), walk_find(text, sub, 0));
    ASSERT_EQ(txt_find(text, sub, std::nullopt, true), walk_find(text, sub, 0, true));
    std::size_t region = static_cast<std::size_t>(std::max(s - 1, 0));
    ASSERT_EQ(txt_find(text, sub, s), region >= text.size() ? -1 : walk_find(text, sub, region));
    ASSERT_EQ(txt_find_last(text, sub), walk_find_last(text, sub));
    ASSERT_EQ(txt_find_last(text, sub, s),
              s <= 1 ? -1 : walk_find_last(std::string_view(text).substr(0, region), sub));
    ASSERT_EQ(txt_replace(text, sub, "#"), walk_replace(text, sub, "#"));
    ASSERT_EQ(txt_split(text, sub), walk_split(text, sub));
  }
}

TEST(TxtCodepage, ChineseLiteralsSearchable) {
  Text text = gbk("女装,男装，童装");
  EXPECT_EQ(txt_split(text, ","), (TextList{gbk("女装"), gbk("男装，童装")}));
  EXPECT_EQ(txt_find(text, gbk("童装")), 12);
}

}  // namespace
}  // namespace quill
