#pragma once
// The deterministic answers of the sandbox gateway.

#include <string>
#include <string_view>

namespace sandbox {

struct ItemQuery {
  std::string keyword;  // UTF-8
  std::string pid;      // the classic interface's PID, or the current one's adzone_id
  std::string fields;   // comma-separated element names
  std::string sort;     // e.g. "price_desc"; unknown or empty keeps the catalogue order
  int page_no = 1;
  int page_size = 40;
  std::string base_url;  // "http://host:port", for the links in the answer
  bool invalid_utf8 = false;
  int catalogue_size = 100;
  bool whole_catalogue = false;  // ignore page_no and page_size
};

// A taobaoke_items_get_response document: one taobaoke_item per line, child
// elements in alphabetical order, titles with escaped markup, an escaped
// ampersand and Chinese text, credit scores 1-20.
std::string items_answer(const ItemQuery& query);
// A tbk_dg_material_optional_upgrade_response (JSON) over the same catalogue:
// nested records, raw markup in titles, promotion prices and coupon links on
// some items, protocol-relative pictures when base_url is https.
std::string material_answer(const ItemQuery& query);
// The current interface's sort names ("tk_rate_des") as the classic ones
// ("commissionRate_desc"); "" for a name the platform does not take.
std::string classic_sort(std::string_view material_sort);
std::string error_answer(int code, std::string_view message);
// An error_response with the platform's sub-error pair; empty sub_code leaves both out.
std::string error_answer(int code, std::string_view message, std::string_view sub_code,
                         std::string_view sub_msg);
// The same error in the format the request asked for ("format" json or xml).
std::string error_answer_for(std::string_view format, int code, std::string_view message,
                             std::string_view sub_code = {}, std::string_view sub_msg = {});
// The platform's top-level message for an error code ("Unknown Error" for codes it does not use).
std::string_view error_message(int code);

// A small badge picture, coloured by the badge family in the name.
std::string badge_gif(std::string_view name);

}  // namespace sandbox
