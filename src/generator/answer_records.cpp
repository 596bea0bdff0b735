#include "generator/answer_records.h"

#include "base/extract.h"

namespace quill::generator {
namespace {

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

}  // namespace

std::vector<AnswerRecord> ReadRecords(std::string_view answer, int limit) {
  std::vector<AnswerRecord> records;
  int pos = 0;
  while (static_cast<int>(records.size()) < limit) {
    const int before = pos;
    const Text element = ExtractBetween(answer, kItem.open, kItem.close, pos);
    if (pos == before) break;
    AnswerRecord record;
    record.click_url = Field(element, kClickUrl);
    if (record.click_url.empty()) continue;
    record.nick = Field(element, kNick);
    record.pic_url = Field(element, kPicUrl);
    record.price = Field(element, kPrice);
    record.credit_score = Field(element, kCreditScore);
    record.shop_click_url = Field(element, kShopClickUrl);
    record.title = Field(element, kTitle);
    record.volume = Field(element, kVolume);
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace quill::generator
