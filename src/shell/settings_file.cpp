#include "shell/settings_file.h"

#include <algorithm>
#include <cmath>

#include "base/codepage.h"
#include "base/fs.h"
#include "generator/run_choices.h"
#include "shell/program_folder.h"

namespace quill::shell {
namespace {

TextList gbk_list(std::initializer_list<std::string_view> utf8) {
  TextList items;
  for (std::string_view item : utf8) items.push_back(gbk(item));
  return items;
}

struct Keys {
  Text section = gbk("通常配置");
  Text keywords = gbk("关键词"), count = gbk("获取数目"), app_key = gbk("钥匙"), app_secret = gbk("密码"),
       pid = "PID", sort = gbk("排序"), picture_size = gbk("尺寸"), template_index = gbk("模板"),
       save_dir = gbk("保存目录"), path_style = gbk("路径式样"), template_name = gbk("模板名称");
};

const Keys& keys() {
  static const Keys k;
  return k;
}

TextList captions_of(const std::vector<generator::Choice>& choices) {
  TextList captions;
  for (const generator::Choice& choice : choices) captions.push_back(choice.caption);
  return captions;
}

}  // namespace

const TextList& SortItems() {
  static const TextList items = captions_of(generator::SortChoices());
  return items;
}

const TextList& PictureSizeItems() {
  static const TextList items = captions_of(generator::PictureSizeChoices());
  return items;
}

const TextList& PathStyleItems() {
  static const TextList items = gbk_list({"关键词.htm", "关键词\\index.htm"});
  return items;
}

const TextList& ShortLinkItems() {
  static const TextList items = [] {
    TextList names;
    for (int service = 0; service < shortlink::kServiceCount; ++service)
      names.push_back(shortlink::ServiceName(service));
    return names;
  }();
  return items;
}

Text ItemAt(const TextList& items, int index) {
  if (index < 0 || index >= static_cast<int>(items.size())) return {};
  return items[static_cast<std::size_t>(index)];
}

StoredControls InitialControls() {
  StoredControls c;
  c.keywords = gbk("女装,女鞋,女包\r\n2012\r\n连衣裙,毛衣");
  c.count = "10";
  c.app_key = "31415926";
  c.app_secret = "5f0c2a9e7b13d4866e1fa0b2c9d34e57";
  c.pid = gbk("你的pid数字串，只填中间串");
  c.sort = 5;
  c.picture_size = 3;
  c.template_index = -1;
  c.save_dir = "";
  c.path_style = 0;
  return c;
}

int FitSelection(double stored, int item_count) {
  const double cut = std::trunc(stored);
  if (!(cut >= 0)) return -1;  // negative, or not a number at all
  if (cut >= item_count) return item_count - 1;
  return static_cast<int>(cut);
}

bool SaveSettings(IniStore& store, const StoredControls& controls, Text* why) {
  const Keys& k = keys();
  store.set_section(k.section);
  store.begin_batch();
  store.put_text(k.keywords, controls.keywords);
  store.put_text(k.count, controls.count);
  store.put_text(k.app_key, controls.app_key);
  store.put_text(k.app_secret, controls.app_secret);
  store.put_text(k.pid, controls.pid);
  store.put_number(k.sort, controls.sort);
  store.put_number(k.picture_size, controls.picture_size);
  store.put_number(k.template_index, controls.template_index);
  store.put_text(k.save_dir, controls.save_dir);
  store.put_number(k.path_style, controls.path_style);
  store.put_text(k.template_name, controls.template_name);
  return store.commit(why);
}

StoredControls RestoreSettings(const IniStore& store, const StoredControls& current,
                               std::string_view program_dir,
                               const std::function<TextList()>& list_templates) {
  const Keys& k = keys();
  IniView reader = store.snapshot();
  reader.set_section(k.section);
  StoredControls c = current;
  c.keywords = reader.get_text(k.keywords, current.keywords);
  c.count = reader.get_text(k.count, current.count);
  c.app_key = reader.get_text(k.app_key, current.app_key);
  c.app_secret = reader.get_text(k.app_secret, current.app_secret);
  c.pid = reader.get_text(k.pid, current.pid);
  c.sort = FitSelection(reader.get_number(k.sort, current.sort), static_cast<int>(SortItems().size()));
  c.picture_size = FitSelection(reader.get_number(k.picture_size, current.picture_size),
                                static_cast<int>(PictureSizeItems().size()));
  const double stored_template = reader.get_number(k.template_index, 0);
  const TextList listed = list_templates ? list_templates() : TextList();
  c.template_index = FitSelection(stored_template, static_cast<int>(listed.size()));
  const Text name = reader.get_text(k.template_name, "");
  if (const auto named = std::find(listed.begin(), listed.end(), name);
      !name.empty() && named != listed.end())
    c.template_index = static_cast<int>(named - listed.begin());
  c.template_name = ItemAt(listed, c.template_index);
  c.save_dir = reader.get_text(k.save_dir, DefaultSaveDir(program_dir));
  c.path_style = FitSelection(reader.get_number(k.path_style, current.path_style),
                              static_cast<int>(PathStyleItems().size()));
  return c;
}

}  // namespace quill::shell
