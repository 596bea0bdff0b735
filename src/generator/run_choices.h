#pragma once
// The choices a run offers, each with the caption the window lists and the
// value the run sends or appends: one table per choice, so the two cannot drift.

#include <vector>

#include "base/text.h"

namespace quill::generator {

struct Choice {
  Text caption;  // GBK, as listed
  Text value;
  Text material_value;  // what taobao.tbk.dg.material.optional.upgrade takes, "" for nothing
};

// "价格从高到低" / "price_desc" .. "商品下架时间从低到高" / "delistTime_asc" (11).
const std::vector<Choice>& SortChoices();
// "原图片" / "" (the picture as the platform gives it), then "460x460" /
// "_460x460.jpg", "310x310", "210x210".
const std::vector<Choice>& PictureSizeChoices();

// The sort value sent for a selection; "" (nothing sent) outside the list.
Text SortValue(int index);
// The same for taobao.tbk.dg.material.optional.upgrade, which sorts by fewer
// keys: "" (nothing sent) for those it lacks and outside the list.
Text MaterialSortValue(int index);
// What a picture URL gets appended for a selection; outside the list "_.jpg",
// as an empty selection has always given.
Text PictureSuffix(int index);

}  // namespace quill::generator
