#include "generator/material_records.h"

#include <gtest/gtest.h>

#include "base/codepage.h"

namespace quill::generator {
namespace {

std::string answer(const std::string& entries) {
  return R"({"tbk_dg_material_optional_upgrade_response":{"result_list":{"map_data":[)" + entries +
         R"(]},"total_results":9}})";
}

TEST(WellFormedUrl, OneHttpUrlOrNothing) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"https://s.click.taobao.com/t?e=1&pid=mm_1", "https://s.click.taobao.com/t?e=1&pid=mm_1"},
      {"//img.alicdn.com/a.jpg", "https://img.alicdn.com/a.jpg"},
      {"http://127.0.0.1:8080/pic/1.jpg", "http://127.0.0.1:8080/pic/1.jpg"},
      {"http://host", "http://host"},
      {"javascript:alert(1)", ""},
      {"ftp://host/a", ""},
      {"//", ""},
      {"http://", ""},
      {"http://host:/a", ""},
      {"http://user@evil/a", ""},
      {"http://a/b c", ""},
      {"http://a/b\" onerror=\"x", ""},
      {"http://a/<b>", ""},
      {"http://a/\xE4\xB8\xAD", ""},
      {"http://a/x http://b/y", ""},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(WellFormedUrl(in), out) << in;
}

TEST(ReadMaterialRecords, NestedFieldsBecomeTheRecordsTheTemplateFills) {
  const std::string entries =
      // coupon link first, promotion price first, numbers as numbers, tags removed
      R"({"item_id":"1","item_basic_info":{"title":"<span class=H>连衣裙</span> & 裙","shop_title":"小<b>店</b>",)"
      R"("pict_url":"//img.alicdn.com/1.jpg","seller_id":77,"volume":1234},)"
      R"("price_promotion_info":{"zk_final_price":"99.00","final_promotion_price":"89.00"},)"
      R"("publish_info":{"click_url":"//s.click.taobao.com/c","coupon_share_url":"//uland.taobao.com/q"}},)"
      // no coupon: the click link; no promotion price: the discounted one; strings for numbers
      R"({"item_basic_info":{"title":"T2","seller_id":"78","volume":"5","pict_url":"javascript:x"},)"
      R"("price_promotion_info":{"zk_final_price":"10.5","final_promotion_price":""},)"
      R"("publish_info":{"click_url":"https://s.click.taobao.com/d","coupon_share_url":""}},)"
      // neither link that is a URL: skipped, no rank
      R"({"item_basic_info":{"title":"skipped"},"publish_info":{"click_url":"not a link"}},)"
      // fields of the wrong kinds and missing groups
      R"({"item_basic_info":{"title":["x"],"seller_id":{"a":1},"volume":1.5},"publish_info":{"click_url":"//a/b"}},)"
      // brackets inside a text are no nesting
      R"({"item_basic_info":{"title":"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[\"{{{{"},"publish_info":{"click_url":"//c/d"}},)"
      R"(7, null)";
  const std::vector<AnswerRecord> records = ReadMaterialRecords(answer(entries), 40);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].click_url, "https://uland.taobao.com/q");
  EXPECT_EQ(records[0].title, gbk("连衣裙 & 裙"));
  EXPECT_EQ(records[0].nick, gbk("小店"));
  EXPECT_EQ(records[0].pic_url, "https://img.alicdn.com/1.jpg");
  EXPECT_EQ(records[0].price, "89.00");
  EXPECT_EQ(records[0].shop_click_url, std::string(kShopPageBase) + "77");
  EXPECT_EQ(records[0].volume, "1234");
  EXPECT_EQ(records[0].credit_score, "");
  EXPECT_EQ(records[1].click_url, "https://s.click.taobao.com/d");
  EXPECT_EQ(records[1].price, "10.5");
  EXPECT_EQ(records[1].shop_click_url, std::string(kShopPageBase) + "78");
  EXPECT_EQ(records[1].volume, "5");
  EXPECT_EQ(records[1].pic_url, "");
  EXPECT_EQ(records[2].click_url, "https://a/b");
  EXPECT_EQ(records[2].title, "");
  EXPECT_EQ(records[2].shop_click_url, "");
  EXPECT_EQ(records[2].volume, "");
  EXPECT_EQ(records[3].title, std::string(40, '[') + "\"{{{{");

  EXPECT_EQ(ReadMaterialRecords(answer(entries), 1).size(), 1u);
  EXPECT_TRUE(ReadMaterialRecords(answer(entries), 0).empty());
  for (const std::string& bad :
       {std::string(), std::string("{"), answer(entries).substr(0, 200),
        std::string(R"({"tbk_dg_material_optional_upgrade_response":{"result_list":{}}})"),
        std::string(R"({"error_response":{"code":7}})"), std::string("[1,2]"),
        answer(std::string(40, '[') + std::string(40, ']'))})
    EXPECT_TRUE(ReadMaterialRecords(bad, 40).empty()) << bad;
}

}  // namespace
}  // namespace quill::generator
