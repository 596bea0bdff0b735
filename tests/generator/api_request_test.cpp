#include "generator/api_request.h"

#include <gtest/gtest.h>

#include "base/codepage.h"
#include "generator/run_choices.h"

namespace quill::generator {
namespace {

using openapi::ApiInterface;

TEST(AdzoneId, LastNumberOfAPidOrTheNumberAlone) {
  const std::vector<std::pair<std::string, std::optional<Text>>> cases = {
      {"mm_123_456_789", "789"},
      {"  mm_1_2_3　", "3"},
      {"109876543", "109876543"},
      {" 42 ", "42"},
      {"123456789012345678", "123456789012345678"},
      {"1234567890123456789", std::nullopt},  // beyond a 64-bit ad zone
      {"mm_1_2", std::nullopt},
      {"mm_1_2_3_4", std::nullopt},
      {"mm_1__3", std::nullopt},
      {"mm_a_2_3", std::nullopt},
      {"MM_1_2_3", std::nullopt},
      {"mm_1_2_3x", std::nullopt},
      {"mm_1_2_-3", std::nullopt},
      {"12 34", std::nullopt},
      {"", std::nullopt},
      {"你的pid数字串，只填中间串", std::nullopt},
  };
  for (const auto& [pid, adzone] : cases) EXPECT_EQ(AdzoneId(gbk(pid)), adzone) << pid;
}

TEST(SortValues, EachInterfaceHasItsOwnNameForTheSameBox) {
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"price_desc", "price_des"},
      {"price_asc", "price_asc"},
      {"credit_desc", ""},
      {"commissionRate_desc", "tk_rate_des"},
      {"commissionRate_asc", "tk_rate_asc"},
      {"commissionNum_desc", "total_sales_des"},
      {"commissionNum_asc", "total_sales_asc"},
      {"commissionVolume_desc", "tk_total_commi_des"},
      {"commissionVolume_asc", "tk_total_commi_asc"},
      {"delistTime_desc", ""},
      {"delistTime_asc", ""},
  };
  ASSERT_EQ(SortChoices().size(), expected.size());
  for (int i = -1; i <= static_cast<int>(expected.size()); ++i) {
    const bool listed = i >= 0 && i < static_cast<int>(expected.size());
    EXPECT_EQ(SortValue(i), listed ? expected[static_cast<std::size_t>(i)].first : "") << i;
    EXPECT_EQ(MaterialSortValue(i), listed ? expected[static_cast<std::size_t>(i)].second : "") << i;
  }
}

TEST(BusinessParams, EachInterfaceGetsItsParametersWithValuesWhole) {
  const KeywordQuery query{gbk("H&M a=b+c%"), "mm_1_2_3", "tk_rate_des", 40};
  EXPECT_EQ(BusinessParams(ApiInterface::material_optional, query),
            (openapi::ParamList{{"q", gbk("H&M a=b+c%")},
                                {"adzone_id", "3"},
                                {"page_size", "40"},
                                {"page_no", "1"},
                                {"sort", "tk_rate_des"}}));
  const openapi::ParamList classic =
      BusinessParams(ApiInterface::items_get, {"H&M", "mm_1_2_3", "price_asc", 7});
  ASSERT_EQ(classic.size(), 6u);
  EXPECT_EQ(classic[0], (openapi::ParamList::value_type{"keyword", "H&M"}));
  EXPECT_EQ(classic[1].value, "mm_1_2_3");
  EXPECT_EQ(classic[5].value, "7");
}

}  // namespace
}  // namespace quill::generator
