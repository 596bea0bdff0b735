#include "generator/generation_run.h"

#include <algorithm>
#include <array>

#include "base/codepage.h"
#include "base/convert.h"
#include "base/fs.h"
#include "base/ui_hooks.h"
#include "generator/credit_badge.h"
#include "generator/template_format.h"
#include "openapi/api_call.h"
#include "shortlink/short_link.h"

namespace quill {
namespace {

constexpr int kMaxItems = 40;
constexpr std::string_view kMethod = "taobao.taobaoke.items.get";
constexpr std::string_view kFields =
    "num_iid,title,nick,pic_url,price,click_url,shop_click_url,seller_credit_score,item_location,volume";

// The sort value sent for an index of the sort list; outside the list nothing
// (the empty value is dropped by the request builder).
std::string_view SortValue(int index) {
  static constexpr std::array<std::string_view, 11> kValues = {
      "price_desc",           "price_asc",          "credit_desc",       "commissionRate_desc",
      "commissionRate_asc",   "commissionNum_desc", "commissionNum_asc", "commissionVolume_desc",
      "commissionVolume_asc", "delistTime_desc",    "delistTime_asc"};
  if (index < 0 || index >= static_cast<int>(kValues.size())) return {};
  return kValues[static_cast<std::size_t>(index)];
}

// An element's opening and closing tag, fixed at compile time so that reading a
// record builds no tag texts.
struct Tag {
  std::string_view open, close;
};
constexpr Tag kItem{"<taobaoke_item>", "</taobaoke_item>"};
constexpr Tag kClickUrl{"<click_url>", "</click_url>"};
constexpr Tag kNick{"<nick>", "</nick>"};
constexpr Tag kPicUrl{"<pic_url>", "</pic_url>"};
constexpr Tag kPrice{"<price>", "</price>"};
constexpr Tag kCreditScore{"<seller_credit_score>", "</seller_credit_score>"};
constexpr Tag kShopClickUrl{"<shop_click_url>", "</shop_click_url>"};
constexpr Tag kTitle{"<title>", "</title>"};
constexpr Tag kVolume{"<volume>", "</volume>"};

// One field of one record: the text of its first element, "" when it has none.
Text Field(std::string_view record, const Tag& tag) {
  int pos = 0;
  return ExtractBetween(record, tag.open, tag.close, pos);
}

// A page path leaves the save folder when the line is absolute or climbs out
// with a ".." segment; such a line gets no page.
bool StaysInside(std::string_view relative) {
  if (relative.empty()) return false;
  if (relative.front() == '/' || relative.front() == '\\') return false;
  if (relative.size() >= 2 && relative[1] == ':') return false;
  for (std::string_view separator : {std::string_view("/"), std::string_view("\\")})
    for (const Text& segment : txt_split(relative, separator))
      if (segment == "..") return false;
  return true;
}

class Run {
 public:
  Run(RunControls& controls, RunHost& host, const RunEnvironment& environment)
      : controls_(controls), host_(host), env_(environment) {}

  RunSummary go() {
    const TextList lines = txt_split(controls_.keywords(), "\r\n");
    sort_ = Text(SortValue(controls_.sort_index()));
    template_ = PrepareTemplate(
        bytes_to_text(file_read_all(TemplateFilePath(env_.program_dir, controls_.template_name()))));
    if (template_.item_section.empty()) {
      static const Text message = gbk("当前选择的模板没有商品循环段落！");
      show_message(message);
      summary_.no_product_loop = true;
      return summary_;
    }
    save_folder_ = controls_.save_folder();
    if (txt_right(save_folder_, 1) != kPathSeparator) save_folder_ += kPathSeparator;
    if (controls_.path_style() == 0) copy_resources(txt_join(save_folder_, kResourceFolder));
    count_ = std::min(to_int32(controls_.item_count()), kMaxItems);

    const int total = static_cast<int>(lines.size());
    for (int number = 1; number <= total && !stopping(); ++number) {
      const Text line = txt_trim(lines[static_cast<std::size_t>(number - 1)]);
      if (line.empty()) continue;
      run_line(number, total, line);
    }
    host_.set_title("Quillmoor");
    return summary_;
  }

 private:
  bool stopping() {
    if (quit_requested()) summary_.stopped = true;
    return summary_.stopped;
  }

  void copy_resources(const Text& destination) {
    const Text source = TemplateResourceFolder(env_.program_dir, controls_.template_name());
    CopyFolderContents(source, destination, [this](const Text& target) { return host_.ask_replace(target); });
  }

  void run_line(int number, int total, const Text& line) {
    host_.line_started(number, total, line);
    static const Text progress = gbk("正在生成..");
    host_.set_title(txt_join(progress, line));
    Text items;
    for (const Text& keyword : txt_split(line, ",")) {
      if (stopping()) return;
      walk_answer(keyword, items);
    }
    if (stopping()) return;  // a page cut short by the end of the program is not written
    write_page(line, FillPage(template_.page_template, line, items));
  }

  void walk_answer(const Text& keyword, Text& items) {
    const Text query = txt_join("keyword=", keyword, "&pid=", controls_.pid(), "&fields=", kFields,
                                "&sort=", sort_, "&page_no=1&page_size=", to_text(count_));
    const Text app_key = controls_.app_key();
    const Text app_secret = controls_.app_secret();
    Text format;
    const Text answer = CallOpenApi(env_.endpoints.gateway, app_key, app_secret, kMethod, query, "", format);
    int pos = 0;
    int rank = 0;
    for (;;) {
      const int before = pos;
      const Text record = ExtractBetween(answer, kItem.open, kItem.close, pos);
      if (pos == before) break;
      // A record without an affiliate link has nothing to send the reader to.
      Text link = Field(record, kClickUrl);
      if (link.empty()) continue;
      items += fill_record(record, std::move(link), keyword, ++rank);
      items += "\r\n";
    }
    summary_.records += rank;
    if (rank == 0) ++summary_.empty_calls;
  }

  Text fill_record(const Text& record, Text link, const Text& keyword, int rank) {
    ItemFields fields;
    if (controls_.short_links()) ShortenLink(link, controls_.short_link_service(), env_.endpoints);
    fields.link = std::move(link);
    fields.nick = Field(record, kNick);
    fields.picture = Field(record, kPicUrl);
    if (controls_.picture_size_index() != 0)
      fields.picture += txt_join("_", controls_.picture_size_text(), ".jpg");
    fields.price = Field(record, kPrice);
    fields.badge = CreditBadgeUrl(to_int32(Field(record, kCreditScore)), env_.endpoints.picture_host);
    fields.shop_link = Field(record, kShopClickUrl);
    fields.title = Field(record, kTitle);
    fields.volume = Field(record, kVolume);
    fields.keyword = keyword;
    fields.rank = rank;
    return FillItemBlock(template_.item_section, fields, [this](Text& shop_link) {
      if (controls_.short_links()) ShortenLink(shop_link, controls_.short_link_service(), env_.endpoints);
    });
  }

  void write_page(const Text& line, const Text& page) {
    const bool in_folder = controls_.path_style() == 1;
    const Text relative = in_folder ? txt_join(line, kPathSeparator, "index.htm") : txt_join(line, ".htm");
    if (!StaysInside(relative)) {
      ++summary_.pages_failed;
      return;
    }
    const Text page_folder = in_folder ? txt_join(save_folder_, line, kPathSeparator) : save_folder_;
    // Read again rather than reusing in_folder: a click reads the choice at the copy too.
    if (controls_.path_style() == 1)
      copy_resources(txt_join(save_folder_, line, kPathSeparator, kResourceFolder));
    MakeFolderPath(page_folder);
    if (file_write_all(txt_join(save_folder_, relative), text_to_bytes(page)))
      ++summary_.pages_written;
    else
      ++summary_.pages_failed;
  }

  RunControls& controls_;
  RunHost& host_;
  const RunEnvironment& env_;
  RunSummary summary_;
  Text sort_;
  PreparedTemplate template_;
  Text save_folder_;
  int count_ = 0;
};

}  // namespace

RunSummary RunGeneration(RunControls& controls, RunHost& host, const RunEnvironment& environment) {
  return Run(controls, host, environment).go();
}

}  // namespace quill
