#include "routes.h"

#include <cstdlib>

#include "items.h"

namespace sandbox {
namespace {

constexpr std::string_view kMaterialMethod = "taobao.tbk.dg.material.optional.upgrade";

struct Check {
  const char* name;
  int missing_code;
};

// System parameters in the order the platform checks them.
constexpr Check kRequired[] = {{"method", 21}, {"app_key", 28}, {"timestamp", 30}, {"sign", 24}, {"v", 32}};

bool read_int(const std::string& text, int& out) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  out = std::atoi(text.c_str());
  return true;
}

std::string items_get(const Params& params, const Options& options, const std::string& base_url) {
  ItemQuery query;
  auto fields = find_param(params, "fields");
  if (!fields || fields->empty()) return error_answer(40, "Missing required arguments:fields");
  auto keyword = find_param(params, "keyword");
  if (!keyword || keyword->empty()) return error_answer(40, "Missing required arguments:keyword");
  query.fields = *fields;
  query.keyword = *keyword;
  query.pid = find_param(params, "pid").value_or("");
  query.sort = find_param(params, "sort").value_or("");
  if (auto page_no = find_param(params, "page_no"); page_no && !read_int(*page_no, query.page_no)) {
    return error_answer(41, "Invalid arguments:page_no");
  }
  if (auto size = find_param(params, "page_size");
      size && (!read_int(*size, query.page_size) || query.page_size < 1 || query.page_size > 40)) {
    return error_answer(41, "Invalid arguments:page_size");
  }
  if (query.page_no < 1) return error_answer(41, "Invalid arguments:page_no");
  query.base_url = base_url;
  query.invalid_utf8 = options.invalid_utf8;
  query.catalogue_size = options.items;
  query.whole_catalogue = options.all_items;
  return items_answer(query);
}

bool all_digits(const std::string& text) {
  return !text.empty() && text.size() <= 18 && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string material_get(const Params& params, const Options& options, const std::string& base_url) {
  auto error = [](int code, std::string_view message) { return error_answer_for("json", code, message); };
  ItemQuery query;
  const auto keyword = find_param(params, "q");
  if (!keyword || keyword->empty()) return error(40, "Missing required arguments:q");
  const auto adzone = find_param(params, "adzone_id");
  if (!adzone || adzone->empty()) return error(40, "Missing required arguments:adzone_id");
  if (!all_digits(*adzone)) return error(41, "Invalid arguments:adzone_id");
  if (auto size = find_param(params, "page_size");
      size && (!read_int(*size, query.page_size) || query.page_size < 1 || query.page_size > 100))
    return error(41, "Invalid arguments:page_size");
  if (auto page_no = find_param(params, "page_no");
      page_no && (!read_int(*page_no, query.page_no) || query.page_no < 1))
    return error(41, "Invalid arguments:page_no");
  if (auto sort = find_param(params, "sort")) {
    query.sort = classic_sort(*sort);
    if (query.sort.empty()) return error(41, "Invalid arguments:sort");
  }
  query.keyword = *keyword;
  query.pid = *adzone;
  query.base_url = base_url;
  query.invalid_utf8 = options.invalid_utf8;
  query.catalogue_size = options.items;
  query.whole_catalogue = options.all_items;
  return material_answer(query);
}

std::string json_slashes(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '/')
      out += "\\/";
    else if (c == '"' || c == '\\')
      out += '\\', out += c;
    else
      out += c;
  }
  return out;
}

}  // namespace

std::string gateway_answer(const Params& params, const Options& options, const std::string& base_url,
                           std::time_t now) {
  // The platform answers in the format asked for, errors included.
  const std::string format = find_param(params, "format").value_or("xml");
  auto error = [&format](int code, std::string_view message) {
    return error_answer_for(format, code, message);
  };
  for (const Check& check : kRequired) {
    auto value = find_param(params, check.name);
    if (!value || value->empty()) return error(check.missing_code, std::string("Missing ") + check.name);
  }
  if (*find_param(params, "app_key") != options.key) return error(29, "Invalid app Key");
  auto stamp = parse_beijing_time(*find_param(params, "timestamp"));
  if (!stamp || std::llabs(static_cast<long long>(*stamp - now)) > 600) return error(31, "Invalid timestamp");
  std::string sign_method = find_param(params, "sign_method").value_or("md5");
  if (sign_method != "md5") return error(25, "Invalid signature");
  if (*find_param(params, "sign") != expected_signature(params, options.secret)) {
    return error(25, "Invalid signature");
  }
  if (*find_param(params, "v") != "2.0") return error(34, "Unsupported version");
  const std::string method = *find_param(params, "method");
  if (method == kMaterialMethod) {
    if (format != "json") return error(23, "Invalid format");
    if (options.no_permission)
      return error_answer_for(format, 11, error_message(11), "isv.permission-api-package-empty",
                              "Insufficient isv permissions");
    return material_get(params, options, base_url);
  }
  if (format != "xml") return error(23, "Invalid format");
  if (method != "taobao.taobaoke.items.get") return error(22, "Invalid method");
  return items_get(params, options, base_url);
}

std::string short_code(std::string_view link) {
  static const char* digits = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string hex = md5_upper_hex(link);
  unsigned long long n = std::strtoull(hex.substr(0, 15).c_str(), nullptr, 16);
  std::string code;
  for (int i = 0; i < 6; ++i, n /= 62) code += digits[n % 62];
  return code;
}

std::string create_php_answer(std::string_view link, const std::string& base_url) {
  if (link.empty()) return "{\"status\":-1,\"err_msg\":\"url is empty\"}";
  return "{\"status\":0,\"tinyurl\":\"" + json_slashes(base_url + "/s/" + short_code(link)) +
         "\",\"longurl\":\"" + json_slashes(link) + "\"}";
}

std::string dispatcher_answer(std::string_view link, const std::string& base_url) {
  if (link.empty()) return "error: orig_link is empty";
  return base_url + "/s/" + short_code(link);
}

std::string root_answer(std::string_view link, const std::string& base_url) {
  if (link.empty()) return "{'err':'url is empty'}";
  return "{'url':'" + base_url + "/s/" + short_code(link) + "'}";
}

}  // namespace sandbox
