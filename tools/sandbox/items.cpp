#include "items.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <vector>

#include "form.h"

namespace sandbox {
namespace {

std::uint64_t fnv1a(std::string_view text, std::uint64_t salt) {
  std::uint64_t h = 1469598103934665603ull ^ salt;
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

std::uint64_t mix(std::uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdull;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ull;
  return x ^ (x >> 33);
}

struct Item {
  std::uint64_t num_iid;
  int price_cents;
  int credit;
  int volume;
  int rate;  // commission rate in hundredths of a percent
  int commission_num;
  std::int64_t delist;
  int title_kind;
  int seller;
  int location;
};

int commission_cents(const Item& item) {
  return static_cast<int>(std::int64_t{item.price_cents} * item.rate / 10000);
}
std::int64_t commission_volume_cents(const Item& item) {
  return std::int64_t{commission_cents(item)} * item.commission_num;
}

std::vector<Item> catalogue(const std::string& keyword, int size) {
  std::vector<Item> items;
  std::uint64_t seed = fnv1a(keyword, 0);
  for (int i = 0; i < size; ++i) {
    std::uint64_t r = mix(seed + static_cast<std::uint64_t>(i) * 0x9e3779b97f4a7c15ull);
    Item item{};
    item.num_iid = 10000000000ull + r % 9000000000ull;
    item.price_cents = 100 + static_cast<int>((r >> 8) % 99900);
    item.credit = static_cast<int>((static_cast<unsigned>(i) * 7 + seed % 20) % 20) + 1;
    item.volume = static_cast<int>((r >> 20) % 5000);
    item.rate = 100 + static_cast<int>((r >> 32) % 4900);
    item.commission_num = static_cast<int>((r >> 40) % 1000);
    item.delist = 1800000000 + static_cast<std::int64_t>((r >> 12) % 2000000);
    item.title_kind = i % 5;
    item.seller = static_cast<int>((r >> 44) % 8);
    item.location = static_cast<int>((r >> 50) % 6);
    items.push_back(item);
  }
  return items;
}

void sort_items(std::vector<Item>& items, std::string_view sort) {
  using Key = std::function<std::int64_t(const Item&)>;
  struct Order {
    std::string_view name;
    Key key;
  };
  const Order orders[] = {
      {"price", [](const Item& i) { return std::int64_t{i.price_cents}; }},
      {"credit", [](const Item& i) { return std::int64_t{i.credit}; }},
      {"commissionRate", [](const Item& i) { return std::int64_t{i.rate}; }},
      {"commissionNum", [](const Item& i) { return std::int64_t{i.commission_num}; }},
      {"commissionVolume", [](const Item& i) { return commission_volume_cents(i); }},
      {"delistTime", [](const Item& i) { return i.delist; }},
  };
  std::size_t underscore = sort.rfind('_');
  if (underscore == std::string_view::npos) return;
  std::string_view field = sort.substr(0, underscore);
  std::string_view direction = sort.substr(underscore + 1);
  if (direction != "asc" && direction != "desc") return;
  for (const Order& order : orders) {
    if (order.name != field) continue;
    bool descending = direction == "desc";
    std::stable_sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
      return descending ? order.key(a) > order.key(b) : order.key(a) < order.key(b);
    });
    return;
  }
}

std::string money(std::int64_t cents) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%lld.%02lld", static_cast<long long>(cents / 100),
                static_cast<long long>(cents % 100));
  return buffer;
}

// Raw title text (markup included, not yet escaped), as the platform highlights the keyword.
std::string title(const Item& item, const std::string& keyword, bool invalid_utf8) {
  std::string t;
  switch (item.title_kind) {
    case 0:
      t = "2026新款 <span class=H>" + keyword + "</span> 韩版修身";
      break;
    case 1:
      t = keyword + " 正品包邮 买二送一 & 七天无理由退换";
      break;
    case 2:
      t = "特价 " + keyword + " 夏季清仓";
      break;
    case 3:
      t = "【" + keyword + "】专柜正品 <b>热卖</b>";
      break;
    default:
      t = "<span class=H>" + keyword + "</span>&<span class=H>配件</span> 多色可选";
      break;
  }
  if (invalid_utf8) t += " \xFF\xFE bad \xC3(";
  return t;
}

const char* const kSellers[] = {"小鱼儿旗舰店", "淘宝精品屋", "衣恋小铺",   "潮流前线",
                                "美丽人生",     "starshop",   "品质生活馆", "乐享家居"};
const char* const kLocations[] = {"浙江 杭州", "上海", "广东 广州", "北京", "江苏 苏州", "福建 泉州"};

// Every element the answer may carry, in alphabetical order.
const char* const kElements[] = {
    "click_url",           "commission",     "commission_num", "commission_rate", "commission_volume",
    "item_location",       "nick",           "num_iid",        "pic_url",         "price",
    "seller_credit_score", "shop_click_url", "title",          "volume"};

bool requested(std::string_view fields, std::string_view name) {
  if (name.starts_with("commission")) return true;  // the gateway always adds these
  while (!fields.empty()) {
    std::size_t comma = fields.find(',');
    if (fields.substr(0, comma) == name) return true;
    if (comma == std::string_view::npos) break;
    fields = fields.substr(comma + 1);
  }
  return false;
}

std::string value_of(std::string_view name, const Item& item, const ItemQuery& q) {
  std::string iid = std::to_string(item.num_iid);
  if (name == "click_url") return q.base_url + "/t?e=" + iid + "&pid=" + q.pid;
  if (name == "commission") return money(commission_cents(item));
  if (name == "commission_num") return std::to_string(item.commission_num);
  if (name == "commission_rate") return money(item.rate);
  if (name == "commission_volume") return money(commission_volume_cents(item));
  if (name == "item_location") return kLocations[item.location];
  if (name == "nick") return kSellers[item.seller];
  if (name == "num_iid") return iid;
  if (name == "pic_url") return q.base_url + "/pic/" + iid + ".jpg";
  if (name == "price") return money(item.price_cents);
  if (name == "seller_credit_score") return std::to_string(item.credit);
  if (name == "shop_click_url")
    return q.base_url + "/shop?seller=" + std::to_string(item.seller) + "&pid=" + q.pid;
  if (name == "title") return title(item, q.keyword, q.invalid_utf8);
  return std::to_string(item.volume);
}

}  // namespace

std::string items_answer(const ItemQuery& q) {
  std::vector<Item> items = catalogue(q.keyword, q.catalogue_size);
  sort_items(items, q.sort);
  std::size_t first =
      static_cast<std::size_t>(std::max(q.page_no - 1, 0)) * static_cast<std::size_t>(q.page_size);
  std::size_t page_end = first + static_cast<std::size_t>(q.page_size);
  if (q.whole_catalogue) first = 0, page_end = items.size();
  std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\" ?><taobaoke_items_get_response>";
  if (first < items.size()) {
    std::size_t last = std::min(items.size(), page_end);
    out.reserve(out.size() + (last - first) * 900);
    out += "<taobaoke_items list=\"true\">\n";
    for (std::size_t i = first; i < last; ++i) {
      out += "<taobaoke_item>";
      for (const char* name : kElements) {
        if (!requested(q.fields, name)) continue;
        out.append("<").append(name).append(">");
        out += xml_escape(value_of(name, items[i], q));
        out.append("</").append(name).append(">");
      }
      out += "</taobaoke_item>\n";
    }
    out += "</taobaoke_items>";
  }
  out += "<total_results>" + std::to_string(items.size()) + "</total_results></taobaoke_items_get_response>";
  return out;
}

std::string classic_sort(std::string_view material_sort) {
  struct Pair {
    std::string_view material, classic;
  };
  static constexpr Pair kPairs[] = {
      {"price", "price"},
      {"tk_rate", "commissionRate"},
      {"total_sales", "commissionNum"},
      {"tk_total_commi", "commissionVolume"},
  };
  for (const Pair& pair : kPairs) {
    for (std::string_view direction : {"des", "asc"}) {
      if (material_sort != std::string(pair.material) + "_" + std::string(direction)) continue;
      return std::string(pair.classic) + (direction == "des" ? "_desc" : "_asc");
    }
  }
  return {};
}

std::string material_answer(const ItemQuery& q) {
  std::vector<Item> items = catalogue(q.keyword, q.catalogue_size);
  sort_items(items, q.sort);
  const std::size_t first =
      static_cast<std::size_t>(std::max(q.page_no - 1, 0)) * static_cast<std::size_t>(q.page_size);
  const std::size_t last = q.whole_catalogue
                               ? items.size()
                               : std::min(items.size(), first + static_cast<std::size_t>(q.page_size));
  // The platform writes pictures without a scheme; over plain HTTP that would
  // send the browser to an https sandbox that is not there.
  const bool tls = q.base_url.starts_with("https://");
  const std::string pictures = tls ? q.base_url.substr(6) : q.base_url;
  std::string out = "{\"tbk_dg_material_optional_upgrade_response\":{\"result_list\":{\"map_data\":[";
  for (std::size_t i = q.whole_catalogue ? 0 : first; i < last; ++i) {
    const Item& item = items[i];
    const std::string iid = std::to_string(item.num_iid);
    const std::string link = q.base_url + "/t?e=" + iid + "&adzone_id=" + q.pid;
    const bool promoted = i % 3 == 0;
    if (out.back() == '}') out += ',';
    out += "{\"item_id\":" + json_quote(iid);
    out += ",\"item_basic_info\":{\"title\":" + json_quote(title(item, q.keyword, q.invalid_utf8)) +
           ",\"short_title\":" + json_quote(q.keyword) +
           ",\"pict_url\":" + json_quote(pictures + "/pic/" + iid + ".jpg") +
           ",\"shop_title\":" + json_quote(kSellers[item.seller]) +
           ",\"seller_id\":" + std::to_string(1000 + item.seller) +
           ",\"user_type\":" + std::to_string(item.seller % 2) +
           ",\"volume\":" + std::to_string(item.volume) +
           ",\"provcity\":" + json_quote(kLocations[item.location]) + "}";
    out += ",\"price_promotion_info\":{\"reserve_price\":" + json_quote(money(item.price_cents * 2)) +
           ",\"zk_final_price\":" + json_quote(money(item.price_cents)) +
           ",\"final_promotion_price\":" + json_quote(promoted ? money(item.price_cents * 9 / 10) : "") + "}";
    out += ",\"publish_info\":{\"click_url\":" + json_quote(link) +
           ",\"coupon_share_url\":" + json_quote(i % 4 == 0 ? link + "&coupon=1" : "") +
           ",\"income_rate\":" + json_quote(money(item.rate)) + "}}";
  }
  out += "]},\"total_results\":" + std::to_string(items.size()) + ",\"request_id\":\"sandbox\"}}";
  return out;
}

std::string error_answer_for(std::string_view format, int code, std::string_view message,
                             std::string_view sub_code, std::string_view sub_msg) {
  if (format != "json") return error_answer(code, message, sub_code, sub_msg);
  std::string out =
      "{\"error_response\":{\"code\":" + std::to_string(code) + ",\"msg\":" + json_quote(message);
  if (!sub_code.empty())
    out += ",\"sub_code\":" + json_quote(sub_code) + ",\"sub_msg\":" + json_quote(sub_msg);
  return out + ",\"request_id\":\"sandbox\"}}";
}

std::string error_answer(int code, std::string_view message) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\" ?><error_response><code>" + std::to_string(code) +
         "</code><msg>" + xml_escape(message) + "</msg></error_response>";
}

std::string error_answer(int code, std::string_view message, std::string_view sub_code,
                         std::string_view sub_msg) {
  std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\" ?><error_response><code>" +
                    std::to_string(code) + "</code><msg>" + xml_escape(message) + "</msg>";
  if (!sub_code.empty())
    out += "<sub_code>" + xml_escape(sub_code) + "</sub_code><sub_msg>" + xml_escape(sub_msg) + "</sub_msg>";
  return out + "</error_response>";
}

std::string_view error_message(int code) {
  struct Known {
    int code;
    std::string_view message;
  };
  static constexpr Known kKnown[] = {
      {3, "Upload Fail"},
      {7, "App Call Limited"},
      {9, "Http Action Not Allowed"},
      {10, "Service Currently Unavailable"},
      {11, "Insufficient ISV Permissions"},
      {12, "Insufficient User Permissions"},
      {15, "Remote service error"},
      {21, "Missing Method"},
      {22, "Invalid Method"},
      {23, "Invalid Format"},
      {24, "Missing Signature"},
      {25, "Invalid Signature"},
      {26, "Missing Session"},
      {27, "Invalid Session"},
      {28, "Missing App Key"},
      {29, "Invalid App Key"},
      {30, "Missing Timestamp"},
      {31, "Invalid Timestamp"},
      {32, "Missing Version"},
      {33, "Invalid Version"},
      {34, "Unsupported Version"},
      {40, "Missing Required Arguments"},
      {41, "Invalid Arguments"},
      {42, "Forbidden Request"},
      {43, "Parameter Error"},
  };
  for (const Known& known : kKnown) {
    if (known.code == code) return known.message;
  }
  return "Unknown Error";
}

namespace {

// LZW with a clear code after every two pixels keeps every code 3 bits wide:
// larger than a real encoder's output, but tiny for a 16 x 16 picture.
std::string lzw_pixels(const std::vector<int>& pixels) {
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  auto put = [&](int code) {
    bits |= static_cast<std::uint32_t>(code) << count;
    count += 3;
    while (count >= 8) {
      out += static_cast<char>(bits & 0xFF);
      bits >>= 8;
      count -= 8;
    }
  };
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    if (i % 2 == 0) put(4);
    put(pixels[i]);
  }
  put(5);
  if (count > 0) out += static_cast<char>(bits & 0xFF);
  return out;
}

}  // namespace

std::string badge_gif(std::string_view name) {
  unsigned char colour[3] = {0xE0, 0x30, 0x30};  // red
  if (name.find("blue") != std::string_view::npos) colour[0] = 0x30, colour[1] = 0x60, colour[2] = 0xE0;
  if (name.find("cap") != std::string_view::npos) colour[0] = 0x20, colour[1] = 0xA0, colour[2] = 0xE0;
  if (name.find("crown") != std::string_view::npos) colour[0] = 0xF0, colour[1] = 0xB0, colour[2] = 0x10;
  const int size = 16;
  std::vector<int> pixels;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      int dx = std::abs(2 * x - (size - 1)), dy = std::abs(2 * y - (size - 1));
      int d = dx + dy;  // a diamond
      pixels.push_back(d > size ? 0 : d > size - 4 ? 2 : 1);
    }
  }
  std::string gif = "GIF89a";
  gif += std::string("\x10\x00\x10\x00", 4);
  gif += static_cast<char>(0x81);  // global table of 4 colours
  gif += std::string("\x00\x00", 2);
  gif += std::string("\xFF\xFF\xFF", 3);
  gif.append(reinterpret_cast<const char*>(colour), 3);
  gif += std::string("\x40\x40\x40", 3);
  gif += std::string("\x00\x00\x00", 3);
  gif += std::string("\x21\xF9\x04\x01\x00\x00\x00\x00", 8);  // colour 0 transparent
  gif += std::string("\x2C\x00\x00\x00\x00\x10\x00\x10\x00\x00", 10);
  gif += static_cast<char>(2);
  std::string data = lzw_pixels(pixels);
  for (std::size_t i = 0; i < data.size(); i += 255) {
    std::size_t n = std::min<std::size_t>(255, data.size() - i);
    gif += static_cast<char>(n);
    gif.append(data, i, n);
  }
  gif += '\0';
  gif += ';';
  return gif;
}

}  // namespace sandbox
