#pragma once
// The settings file "Quillbatch.ini" beside the program: section "通常配置",
// the ten stored controls and the chosen template's name. Shared by the window
// and the batch tool.

#include <functional>
#include <string_view>

#include "base/ini.h"
#include "base/text.h"

namespace quill::shell {

// The values of the ten stored controls; selections are indexes, -1 for none.
struct StoredControls {
  Text keywords;  // lines joined by CR LF
  Text count;
  Text app_key;
  Text app_secret;
  Text pid;
  int sort = -1;
  int picture_size = -1;
  int template_index = -1;
  Text save_dir;
  int path_style = -1;
  // The chosen template's name beside its position: the position alone moves
  // when a template is added before it.
  Text template_name;
  friend bool operator==(const StoredControls&, const StoredControls&) = default;
};

// The controls' initial values before anything is restored (save_dir empty,
// no template selected).
StoredControls InitialControls();

// The fixed item lists of the combo boxes, GBK, in their order.
const TextList& SortItems();         // "价格从高到低" .. "商品下架时间从低到高" (11)
const TextList& PictureSizeItems();  // "原图片", "460x460", "310x310", "210x210"
const TextList& PathStyleItems();    // "关键词.htm", "关键词\index.htm"
const TextList& ShortLinkItems();    // "百度", "CNZZ", "Baid"
// The item at index, "" when the index is outside the list.
Text ItemAt(const TextList& items, int index);

// Cuts a stored number toward zero and fits it to a list of item_count items:
// above the last gives the last, below 0 (or not a number) gives -1.
int FitSelection(double stored, int item_count);

// Writes the ten keys and "模板名称" in one file update; every key it can, whatever one value
// holds. False when the file could not be written as asked, with why (GBK).
bool SaveSettings(IniStore& store, const StoredControls& controls, Text* why = nullptr);

// Reads the keys over current (each falls back to the current value, the
// template index to 0, the save folder to program_dir/已生成); list_templates runs
// in the middle and returns the templates it listed: a stored name found
// among them selects it, else the stored position fitted to the list.
StoredControls RestoreSettings(const IniStore& store, const StoredControls& current,
                               std::string_view program_dir, const std::function<TextList()>& list_templates);

}  // namespace quill::shell
