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

namespace {

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) { return is_digit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// True when the & at text[at] begins a character reference: &name;, &#digits;
// or &#xhex;. The platform's answers hold references such as &quot; that the
// clean-up leaves; writing them again as &amp;quot; would show the reference.
bool begins_reference(std::string_view text, std::size_t at) {
  std::size_t p = at + 1;
  auto run = [&](bool (*in)(char)) {
    const std::size_t from = p;
    while (p < text.size() && in(text[p])) ++p;
    return p > from;
  };
  if (p < text.size() && text[p] == '#') {
    ++p;
    const bool hex = p < text.size() && (text[p] == 'x' || text[p] == 'X');
    if (hex) ++p;
    if (!run(hex ? is_hex_digit : is_digit)) return false;
  } else {
    if (p >= text.size() || !is_ascii_letter(text[p])) return false;
    run([](char c) { return is_ascii_letter(c) || is_digit(c); });
  }
  return p < text.size() && text[p] == ';';
}

}  // namespace

// The four bytes are below 0x40, so none of them is ever the second byte of a
// GBK character: a plain byte walk is character-safe.
Text EscapeForPage(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    switch (text[i]) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '&':
        out += begins_reference(text, i) ? "&" : "&amp;";
        break;
      default:
        out += text[i];
    }
  }
  return out;
}

Text FillItemBlock(std::string_view item_section, const ItemFields& fields, const ShopLinkHook& shop_hook) {
  const TemplateMarkers& m = Markers();
  Text block = txt_replace(item_section, m.link, fields.link);
  block = txt_replace(block, m.nick, EscapeForPage(fields.nick));
  block = txt_replace(block, m.picture, fields.picture);
  block = txt_replace(block, m.price, EscapeForPage(fields.price));
  block = txt_replace(block, m.badge, fields.badge);
  if (shop_hook && txt_find(block, m.shop_link) > 0) {
    Text shop_link = fields.shop_link;
    shop_hook(shop_link);
    block = txt_replace(block, m.shop_link, shop_link);
  } else {
    block = txt_replace(block, m.shop_link, fields.shop_link);
  }
  block = txt_replace(block, m.title, EscapeForPage(fields.title));
  block = txt_replace(block, m.volume, EscapeForPage(fields.volume));
  block = txt_replace(block, m.keyword, EscapeForPage(fields.keyword));
  return txt_replace(block, m.rank, to_text(fields.rank));
}

Text FillPage(std::string_view page_template, std::string_view group, std::string_view items) {
  const TemplateMarkers& m = Markers();
  return txt_replace(txt_replace(page_template, m.keyword, EscapeForPage(group)), m.loop_body, items);
}

}  // namespace quill::generator
