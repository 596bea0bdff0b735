#include "generator/template_format.h"

#include "base/codepage.h"
#include "base/convert.h"

namespace quill::generator {

const TemplateMarkers& Markers() {
  static const TemplateMarkers markers{
      gbk("[#商品循环开始#]"), gbk("[#商品循环结束#]"), gbk("[#循环体#]"),     gbk("[#商品网址#]"),
      gbk("[#卖家昵称#]"),     gbk("[#商品图片地址#]"), gbk("[#商品价格#]"),   gbk("[#信用等级#]"),
      gbk("[#店铺网址#]"),     gbk("[#商品标题#]"),     gbk("[#商品销售量#]"), gbk("[#关键词#]"),
      gbk("[#商品排名#]"),
  };
  return markers;
}

PreparedTemplate PrepareTemplate(std::string_view template_text) {
  const TemplateMarkers& m = Markers();
  int pos = 0;
  PreparedTemplate prepared;
  prepared.item_section = ExtractBetween(template_text, m.loop_start, m.loop_end, pos);
  if (prepared.item_section.empty()) {
    prepared.page_template = Text(template_text);
    return prepared;
  }
  prepared.page_template =
      txt_replace(template_text, txt_join(m.loop_start, prepared.item_section, m.loop_end), m.loop_body);
  return prepared;
}

Text FillItemBlock(std::string_view item_section, const ItemFields& fields, const ShopLinkHook& shop_hook) {
  const TemplateMarkers& m = Markers();
  Text block = txt_replace(item_section, m.link, fields.link);
  block = txt_replace(block, m.nick, fields.nick);
  block = txt_replace(block, m.picture, fields.picture);
  block = txt_replace(block, m.price, fields.price);
  block = txt_replace(block, m.badge, fields.badge);
  if (shop_hook && txt_find(block, m.shop_link) > 0) {
    Text shop_link = fields.shop_link;
    shop_hook(shop_link);
    block = txt_replace(block, m.shop_link, shop_link);
  } else {
    block = txt_replace(block, m.shop_link, fields.shop_link);
  }
  block = txt_replace(block, m.title, fields.title);
  block = txt_replace(block, m.volume, fields.volume);
  block = txt_replace(block, m.keyword, fields.keyword);
  return txt_replace(block, m.rank, to_text(fields.rank));
}

Text FillPage(std::string_view page_template, std::string_view group, std::string_view items) {
  const TemplateMarkers& m = Markers();
  return txt_replace(txt_replace(page_template, m.keyword, group), m.loop_body, items);
}

}  // namespace quill::generator
