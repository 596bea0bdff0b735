#include "generator/run_choices.h"

#include "base/codepage.h"

namespace quill::generator {
namespace {

const Choice* at(const std::vector<Choice>& choices, int index) {
  if (index < 0 || index >= static_cast<int>(choices.size())) return nullptr;
  return &choices[static_cast<std::size_t>(index)];
}

}  // namespace

const std::vector<Choice>& SortChoices() {
  static const std::vector<Choice> choices = {
      {gbk("价格从高到低"), "price_desc", "price_des"},
      {gbk("价格从低到高"), "price_asc", "price_asc"},
      {gbk("信用等级从高到低"), "credit_desc", ""},
      {gbk("佣金比率从高到低"), "commissionRate_desc", "tk_rate_des"},
      {gbk("佣金比率从低到高"), "commissionRate_asc", "tk_rate_asc"},
      {gbk("成交量从高到低"), "commissionNum_desc", "total_sales_des"},
      {gbk("成交量从低到高"), "commissionNum_asc", "total_sales_asc"},
      {gbk("总支出佣金从高到低"), "commissionVolume_desc", "tk_total_commi_des"},
      {gbk("总支出佣金从低到高"), "commissionVolume_asc", "tk_total_commi_asc"},
      {gbk("商品下架时间从高到低"), "delistTime_desc", ""},
      {gbk("商品下架时间从低到高"), "delistTime_asc", ""},
  };
  return choices;
}

const std::vector<Choice>& PictureSizeChoices() {
  static const std::vector<Choice> choices = {
      {gbk("原图片"), "", ""},
      {"460x460", "_460x460.jpg", ""},
      {"310x310", "_310x310.jpg", ""},
      {"210x210", "_210x210.jpg", ""},
  };
  return choices;
}

Text SortValue(int index) {
  const Choice* choice = at(SortChoices(), index);
  return choice ? choice->value : Text();
}

Text MaterialSortValue(int index) {
  const Choice* choice = at(SortChoices(), index);
  return choice ? choice->material_value : Text();
}

Text PictureSuffix(int index) {
  const Choice* choice = at(PictureSizeChoices(), index);
  return choice ? choice->value : Text("_.jpg");
}

}  // namespace quill::generator
