// A platform answer, however hostile: the clean-up agrees with one pass of the
// markup pattern over the whole text, and the item walk gives at most the asked
// number of records, each from inside one element and with a link. Read as the
// current interface's JSON, it gives at most as many records, each with one
// well-formed link and texts that hold no markup.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "base/codepage.h"
#include "base/regex_object.h"
#include "generator/answer_records.h"
#include "generator/material_records.h"
#include "openapi/answer_document.h"
#include "openapi/api_call.h"
#include "openapi/api_interface.h"

namespace {

void agree(bool same) {
  if (!same) std::abort();
}

// What the clean-up's markup step must equal: the pattern over the whole text.
quill::Text whole_text_markup_removal(const quill::Text& text) {
  static const quill::RegexObject regex = [] {
    quill::RegexObject r;
    r.Create(quill::gbk("＜.*?＞"), false, std::nullopt, true);
    return r;
  }();
  return regex.ReplaceMatches(text, quill::Text());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quill;
  FuzzedDataProvider in(data, size);
  const int limit = in.ConsumeIntegralInRange<int>(-1, 41);
  const std::string utf8 = in.ConsumeRemainingBytesAsString();

  const Text decoded = openapi::Utf8ToGbk(utf8);
  const Text cleaned = openapi::CleanResponse(decoded);
  Text entities = txt_replace(decoded, "amp;");
  entities = txt_replace(entities, "&lt;", gbk("＜"));
  entities = txt_replace(entities, "&gt;", gbk("＞"));
  agree(cleaned == whole_text_markup_removal(entities));

  const auto records = generator::ReadRecords(cleaned, limit);
  agree(static_cast<int>(records.size()) <= std::max(limit, 0));
  for (const auto& record : records) {
    agree(!record.click_url.empty());
    for (const Text* field : {&record.click_url, &record.nick, &record.title, &record.shop_click_url})
      agree(field->find("</taobaoke_item>") == Text::npos);
  }
  openapi::ReadErrorAnswer(cleaned);

  openapi::ClassifyXmlAnswer(utf8, openapi::kItemsGetMethod);
  openapi::ReadJsonAnswer(utf8, openapi::kMaterialOptionalMethod);
  const auto nested = generator::ReadMaterialRecords(utf8, limit);
  agree(static_cast<int>(nested.size()) <= std::max(limit, 0));
  for (const auto& record : nested) {
    agree(!record.click_url.empty() && generator::WellFormedUrl(record.click_url) == record.click_url);
    for (const Text* url : {&record.pic_url, &record.shop_click_url})
      agree(url->empty() || generator::WellFormedUrl(*url) == *url);
    for (const Text* text : {&record.nick, &record.title, &record.price, &record.volume})
      agree(text->find_first_of("<>") == Text::npos);
  }
  return 0;
}
