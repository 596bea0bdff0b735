#pragma once
// The template format: the product loop between "[#商品循环开始#]" and
// "[#商品循环结束#]", item placeholders filled in a fixed order, page placeholders.

#include <functional>
#include <string_view>

#include "base/extract.h"
#include "base/text.h"

namespace quill::generator {

// The markers and placeholders as GBK bytes.
struct TemplateMarkers {
  Text loop_start, loop_end, loop_body;
  Text link, nick, picture, price, badge, shop_link, title, volume, keyword, rank;
};
const TemplateMarkers& Markers();

struct PreparedTemplate {
  Text item_section;   // the pattern of one item block; empty = no product loop
  Text page_template;  // the template with each loop block replaced by "[#循环体#]"
};
// A text without a loop pair, or with nothing between the markers, gives an
// empty item section.
PreparedTemplate PrepareTemplate(std::string_view template_text);

// The values of one record, already in their final form.
struct ItemFields {
  Text link, nick, picture, price, badge, shop_link, title, volume, keyword;
  int rank = 0;
};
// Called with the shop link only when the block, at the moment the shop link is
// due, still holds "[#店铺网址#]"; may replace it (the short form).
using ShopLinkHook = std::function<void(Text& shop_link)>;
// Text for a page, safe inside an element and inside a quoted attribute: < > "
// as &lt; &gt; &quot;, and an & that begins no character reference (&amp;,
// &#34;, &#x22;) as &amp;. Text without these comes back unchanged.
Text EscapeForPage(std::string_view text);

// Fills a copy of the item section in the fixed placeholder order. The texts
// (seller, price, title, sales count, keyword) go through EscapeForPage; the
// links, the picture and the badge address go in as they are.
Text FillItemBlock(std::string_view item_section, const ItemFields& fields,
                   const ShopLinkHook& shop_hook = {});
// Fills "[#关键词#]" with the group (through EscapeForPage) first, then
// "[#循环体#]" with the items.
Text FillPage(std::string_view page_template, std::string_view group, std::string_view items);

}  // namespace quill::generator
