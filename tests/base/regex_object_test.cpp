#include "base/regex_object.h"

#include <gtest/gtest.h>

#include "base/codepage.h"

namespace quill {
namespace {

RegexObject compiled(const char* utf8_pattern, std::optional<bool> ignore_case = std::nullopt,
                     std::optional<bool> multi_line = std::nullopt,
                     std::optional<bool> global = std::nullopt) {
  RegexObject regex;
  EXPECT_TRUE(regex.Create(gbk(utf8_pattern), ignore_case, multi_line, global));
  return regex;
}

// The response clean-up's own pattern and flags.
Text strip_markup(const char* utf8_text) {
  return compiled("＜.*?＞", false, std::nullopt, true).ReplaceMatches(gbk(utf8_text), "");
}

TEST(RegexMarkup, FullWidthTagsAroundAWordDisappear) {
  EXPECT_EQ(strip_markup("夏季＜b＞连衣裙＜/b＞新款"), gbk("夏季连衣裙新款"));
}

TEST(RegexMarkup, LessThanWithoutGreaterThanStays) {
  EXPECT_EQ(strip_markup("价格＜100元"), gbk("价格＜100元"));
}

TEST(RegexMarkup, BracketsOnDifferentLinesAreNotJoined) {
  EXPECT_EQ(strip_markup("a＜b\n＞c"), gbk("a＜b\n＞c"));
  EXPECT_EQ(strip_markup("a＜b\r\n＞c"), gbk("a＜b\r\n＞c"));
  EXPECT_EQ(strip_markup("＜x＞\n＜y＞z"), gbk("\nz"));
}

TEST(RegexMarkup, LazyMatchStopsAtTheFirstClosingBracket) {
  EXPECT_EQ(strip_markup("1＜a＞2＜b＞3"), gbk("123"));
}

// An answer may be one long line; a bracket left open must not make the
// engine give up (or run out of stack) halfway.
TEST(RegexMarkup, MegabyteLinesAreCleanedWhole) {
  const Text many_a(1 << 20, 'a'), many_c(1 << 20, 'c');
  const RegexObject markup = compiled("＜.*?＞", false, std::nullopt, true);
  EXPECT_EQ(markup.ReplaceMatches(gbk("＜") + many_a + gbk("＞b＜") + many_c, ""), "b" + gbk("＜") + many_c);
}

TEST(RegexCharacters, DotMatchesOneWholeDoubleByteCharacter) {
  RegexObject regex = compiled("^中.文$");
  EXPECT_EQ(regex.FindMatches(gbk("中国文")), 1);
  EXPECT_EQ(regex.FindMatches(gbk("中国人文")), 0);
  // No match may begin on the second byte of a pair.
  RegexObject paren;
  ASSERT_TRUE(paren.Create("\xA3\xA8"));                // the GBK full-width "(" ...
  EXPECT_EQ(paren.FindMatches("\xB0\xA3\xA8\xA1"), 0);  // ... is not inside B0A3 A8A1
  EXPECT_EQ(paren.FindMatches("\xB0\xA3\xA3\xA8"), 1);
}

TEST(RegexCharacters, JavaScriptEscapesAndClasses) {
  EXPECT_EQ(compiled("\\u4E2D").FindMatches(gbk("中文")), 1);
  EXPECT_EQ(compiled("[a-c]+\\d{2,3}").FindMatches("xx ab12 c9 b1234"), 2);
  EXPECT_EQ(compiled("a|b").FindMatches("cab"), 2);
}

TEST(RegexFlags, IgnoreCaseDefaultsToTrue) {
  EXPECT_EQ(compiled("abc").FindMatches("ABC"), 1);
  EXPECT_EQ(compiled("abc", false).FindMatches("ABC"), 0);
}

TEST(RegexFlags, MultiLineAnchorsAtEveryLine) {
  EXPECT_EQ(compiled("^b$").FindMatches("a\nb\nc"), 1);
  EXPECT_EQ(compiled("^b$", true, false).FindMatches("a\nb\nc"), 0);
  EXPECT_EQ(compiled("b$", true, false).FindMatches("ab\n"), 0);
}

TEST(RegexFlags, GlobalFalseReplacesOnlyTheFirst) {
  EXPECT_EQ(compiled("o", true, true, false).ReplaceMatches("foo", "0"), "f0o");
  EXPECT_EQ(compiled("o").ReplaceMatches("foo", "0"), "f00");
  EXPECT_EQ(compiled("o", true, true, false).FindMatches("foo"), 1);
}

TEST(RegexReplace, GroupReferencesWholeMatchAndDollar) {
  RegexObject regex = compiled("(\\w+)@(\\w+)");
  EXPECT_EQ(regex.ReplaceMatches("mail tom@home now", "$2:$1 [$&] $$"), "mail home:tom [tom@home] $ now");
  EXPECT_EQ(regex.ReplaceMatches("a@b", "$3$0$"), "$3$0$");
  EXPECT_EQ(compiled("(x)|(y)").ReplaceMatches("y", "[$1]"), "[]");
}

TEST(RegexReplace, EmptyMatchesAdvanceOneCharacter) {
  EXPECT_EQ(compiled("x*").ReplaceMatches("abc", "-"), "-a-b-c-");
  EXPECT_EQ(compiled("x*").ReplaceMatches(gbk("中文"), "-"), gbk("-中-文-"));
  EXPECT_EQ(compiled("a*").ReplaceMatches("aaa", "-"), "--");
}

TEST(RegexReplace, ChineseReplacementTextAndNoMatchKeepsBytes) {
  EXPECT_EQ(compiled("cat").ReplaceMatches("a cat", gbk("猫")), gbk("a 猫"));
  Text odd = "no match \x81";  // a lone lead byte survives when nothing matches
  EXPECT_EQ(compiled("zzz").ReplaceMatches(odd, "y"), odd);
}

TEST(RegexReplace, MalformedGbkBeforeAMatchDoesNotShiftTheCut) {
  Text text = Text(
                  "\xFF"
                  "a") +
              gbk("前＜b＞后") + "\x81";
  Text cleaned = compiled("＜.*?＞", false).ReplaceMatches(text, "");
  EXPECT_NE(cleaned.find(gbk("前后")), Text::npos);
  EXPECT_EQ(cleaned.find(gbk("＜")), Text::npos);
}

TEST(RegexMatches, TextsAndGroupsOfEachMatch) {
  RegexObject regex = compiled("(\\d+)-(\\d+)?");
  EXPECT_EQ(regex.FindMatches(gbk("电话 10-20 和 30-")), 2);
  EXPECT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.MatchText(1), "10-20");
  EXPECT_EQ(regex.MatchText(2), "30-");
  EXPECT_EQ(regex.SubMatchCount(), 2);
  EXPECT_EQ(regex.SubMatchText(1, 2), "20");
  EXPECT_EQ(regex.SubMatchText(2, 1), "30");
  EXPECT_EQ(regex.SubMatchText(2, 2), "");
  EXPECT_EQ(regex.MatchText(3), "");
  EXPECT_EQ(regex.SubMatchText(1, 3), "");
}

TEST(RegexMatches, NothingFoundGivesZeroCounts) {
  RegexObject regex = compiled("(a)(b)");
  EXPECT_EQ(regex.FindMatches("xyz"), 0);
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.SubMatchCount(), 0);
}

TEST(RegexMatches, ChineseMatchTextComesBackAsGbk) {
  RegexObject regex = compiled("裙.");
  ASSERT_EQ(regex.FindMatches(gbk("连衣裙子")), 1);
  EXPECT_EQ(regex.MatchText(1), gbk("裙子"));
}

TEST(RegexCopies, ShareTheEngineAndTheMatchesUntilOneIsRedone) {
  RegexObject original = compiled("b+");
  original.FindMatches("abbc bd");
  RegexObject copy = original;
  EXPECT_EQ(copy.MatchCount(), 2);
  EXPECT_EQ(copy.MatchText(1), "bb");
  EXPECT_EQ(copy.GetPattern(), "b+");
  copy.FindMatches("b");
  EXPECT_EQ(copy.MatchCount(), 1);
  EXPECT_EQ(original.MatchCount(), 2);
  EXPECT_EQ(original.MatchText(2), "b");
  copy.Create("z");
  EXPECT_EQ(original.GetPattern(), "b+");
  EXPECT_EQ(copy.MatchCount(), 0);
}

TEST(RegexWithoutEngine, EveryOperationIsEmpty) {
  RegexObject never;
  EXPECT_EQ(never.GetPattern(), "");
  EXPECT_EQ(never.ReplaceMatches("abc", "x"), "");
  EXPECT_EQ(never.FindMatches("abc"), 0);
  EXPECT_EQ(never.MatchText(1), "");
  EXPECT_EQ(never.SubMatchCount(), 0);

  RegexObject failed = compiled("a");
  EXPECT_FALSE(failed.Create("(unclosed"));
  EXPECT_EQ(failed.GetPattern(), "");
  EXPECT_EQ(failed.FindMatches("a"), 0);
  EXPECT_EQ(failed.ReplaceMatches("a", "b"), "");
}

}  // namespace
}  // namespace quill
