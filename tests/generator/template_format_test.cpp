#include "generator/template_format.h"

#include <gtest/gtest.h>

#include "base/codepage.h"

namespace quill::generator {
namespace {

TEST(ExtractBetween, TakesTextBetweenMarkersAndMovesPastEnd) {
  int pos = 0;
  EXPECT_EQ(ExtractBetween("x<a>one</a><a>two</a>", "<a>", "</a>", pos), "one");
  EXPECT_EQ(pos, 12);
  EXPECT_EQ(ExtractBetween("x<a>one</a><a>two</a>", "<a>", "</a>", pos), "two");
  EXPECT_EQ(pos, 22);
}

TEST(ExtractBetween, MissingMarkerGivesEmptyAndKeepsPosition) {
  int pos = 3;
  EXPECT_EQ(ExtractBetween("ab<a>c", "<a>", "</a>", pos), "");
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(ExtractBetween("ab</a>", "<a>", "</a>", pos), "");
  EXPECT_EQ(pos, 3);
}

TEST(ExtractBetween, AdjacentMarkersGiveEmptyButMovePosition) {
  int pos = 0;
  EXPECT_EQ(ExtractBetween("<a></a>!", "<a>", "</a>", pos), "");
  EXPECT_EQ(pos, 8);
}

TEST(ExtractBetween, SearchesFromPositionOneBased) {
  int pos = 2;
  EXPECT_EQ(ExtractBetween("[x][y]", "[", "]", pos), "y");
}

TEST(ExtractBetween, NeverMatchesInsideDoubleByteCharacter) {
  // 81 5D is one double-byte character whose second byte is "]".
  const Text text =
      "\x81]"
      "[v]";
  int pos = 0;
  EXPECT_EQ(ExtractBetween(text, "[", "]", pos), "v");
  const Text tricky = "[a\x81]b]";
  pos = 0;
  EXPECT_EQ(ExtractBetween(tricky, "[", "]", pos), "a\x81]b");
}

TEST(PrepareTemplate, AdjacentLoopMarkersMeanNoProductLoop) {
  const auto& m = Markers();
  EXPECT_TRUE(PrepareTemplate(m.loop_start + m.loop_end).item_section.empty());
  EXPECT_TRUE(PrepareTemplate("no markers").item_section.empty());
  EXPECT_TRUE(PrepareTemplate(m.loop_end + "x" + m.loop_start).item_section.empty());
}

TEST(PrepareTemplate, Utf8TemplateHasNoProductLoop) {
  EXPECT_TRUE(
      PrepareTemplate("<p>[#商品循环开始#]<b>[#商品标题#]</b>[#商品循环结束#]</p>").item_section.empty());
}

TEST(PrepareTemplate, IdenticalLoopBlocksAllBecomeTheBody) {
  const auto& m = Markers();
  const Text block = m.loop_start + "<i>" + m.loop_end;
  const Text other = m.loop_start + "<u>" + m.loop_end;
  const PreparedTemplate p = PrepareTemplate("A" + block + "B" + block + "C" + other);
  EXPECT_EQ(p.item_section, "<i>");
  EXPECT_EQ(p.page_template, "A" + m.loop_body + "B" + m.loop_body + "C" + other);
}

ItemFields SampleFields() {
  ItemFields f;
  f.link = "L";
  f.nick = "N";
  f.picture = "P";
  f.price = "1.00";
  f.badge = "B";
  f.shop_link = "S";
  f.title = "T";
  f.volume = "7";
  f.keyword = "K";
  f.rank = 3;
  return f;
}

TEST(FillItemBlock, FillsEveryPlaceholderIncludingRepeats) {
  const auto& m = Markers();
  const Text section = m.link + m.nick + m.picture + m.price + m.badge + m.shop_link + m.title + m.volume +
                       m.keyword + m.rank + "|" + m.link;
  EXPECT_EQ(FillItemBlock(section, SampleFields()), "LNP1.00BST7K3|L");
}

TEST(FillItemBlock, LaterPlaceholderInValueIsFilledEarlierIsNot) {
  const auto& m = Markers();
  ItemFields f = SampleFields();
  f.title = "t" + m.keyword + m.link;
  EXPECT_EQ(FillItemBlock(m.title, f), "tK" + m.link);
}

TEST(FillItemBlock, ShopHookRunsOnlyWhenShopPlaceholderIsUsed) {
  const auto& m = Markers();
  int calls = 0;
  auto hook = [&](Text& shop) {
    ++calls;
    shop = "short";
  };
  EXPECT_EQ(FillItemBlock(m.link, SampleFields(), hook), "L");
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(FillItemBlock(m.shop_link + m.shop_link, SampleFields(), hook), "shortshort");
  EXPECT_EQ(calls, 1);
  // A value that brings the placeholder in counts like the template's own.
  ItemFields f = SampleFields();
  f.nick = m.shop_link;
  EXPECT_EQ(FillItemBlock(m.nick, f, hook), "short");
  EXPECT_EQ(calls, 2);
}

// Every text placeholder, page and item level, gets the text escaped; the
// addresses go in as they are; text without the four characters is unchanged.
TEST(EscapeForPage, TextPlaceholdersKeepTheMarkupWhole) {
  struct Case {
    Text text, escaped;
  };
  const Case cases[] = {
      {gbk("连衣裙 2012新款 1.00"), gbk("连衣裙 2012新款 1.00")},
      {"\"H\" alt=\"x", "&quot;H&quot; alt=&quot;x"},
      {"<i>C<D</i>", "&lt;i&gt;C&lt;D&lt;/i&gt;"},
      {"H&M & co&", "H&amp;M &amp; co&amp;"},
      {"&quot;&amp;&nbsp;&#34;&#x22;&#X2f;&b1;", "&quot;&amp;&nbsp;&#34;&#x22;&#X2f;&b1;"},
      {"&#; &#x; &#12 &1a; &a", "&amp;#; &amp;#x; &amp;#12 &amp;1a; &amp;a"},
      {"\xA1<\xB0\xA1>", "\xA1&lt;\xB0\xA1&gt;"},
  };
  const auto& m = Markers();
  const Text section = txt_join(m.nick, "|", m.price, "|", m.title, "|", m.volume, "|", m.keyword, "|") +
                       txt_join(m.link, m.picture, m.shop_link, m.badge);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(EscapeForPage(c.text), c.escaped);
    ItemFields f;
    f.nick = f.price = f.title = f.volume = f.keyword = f.link = f.picture = f.shop_link = f.badge = c.text;
    EXPECT_EQ(FillItemBlock(section, f),
              txt_join(c.escaped, "|", c.escaped, "|", c.escaped, "|", c.escaped, "|", c.escaped, "|") +
                  c.text + c.text + c.text + c.text);
    EXPECT_EQ(FillPage("<h1>" + m.keyword + "</h1>" + m.loop_body, c.text, "<p>"),
              "<h1>" + c.escaped + "</h1><p>");
  }
}

TEST(FillPage, GroupFillsPageKeywordButNotItems) {
  const auto& m = Markers();
  const Text page =
      FillPage("<h1>" + m.keyword + "</h1>" + m.loop_body + m.title, gbk("女装,女鞋"), "item " + m.keyword);
  EXPECT_EQ(page, "<h1>" + gbk("女装,女鞋") + "</h1>item " + m.keyword + m.title);
}

TEST(FillPage, EmptyItemsRemoveTheLoop) {
  const auto& m = Markers();
  const PreparedTemplate p = PrepareTemplate("a" + m.loop_start + "x" + m.loop_end + "b");
  EXPECT_EQ(FillPage(p.page_template, "g", ""), "ab");
}

}  // namespace
}  // namespace quill::generator
