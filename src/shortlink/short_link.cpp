#include "shortlink/short_link.h"

#include "base/codepage.h"
#include "base/convert.h"
#include "generator/template_format.h"
#include "openapi/http_transport.h"

namespace quill {
namespace {

bool is_ascii_alnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The service's base URL without a trailing "/", so the fixed paths join cleanly.
std::string_view base_of(std::string_view base_url) {
  while (!base_url.empty() && base_url.back() == '/') base_url.remove_suffix(1);
  return base_url;
}

Text fetch_text(std::string_view url, std::string_view method, std::string_view body) {
  return bytes_to_text(HttpRequest(url, method, body, kShortLinkWaitSeconds));
}

bool is_url_byte(unsigned char c) { return c > 0x20 && c < 0x7F && c != '"' && c != '<' && c != '>'; }

// The answer as one bare http(s) URL, or "" when it is anything else (an error
// page, several lines, markup).
Text single_url(std::string_view answer) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!answer.empty() && blank(answer.front())) answer.remove_prefix(1);
  while (!answer.empty() && blank(answer.back())) answer.remove_suffix(1);
  const bool http = txt_find(answer, "http://", std::nullopt, true) == 1;
  const bool https = txt_find(answer, "https://", std::nullopt, true) == 1;
  if (!http && !https) return {};
  if (answer.size() <= (http ? 7u : 8u)) return {};
  for (unsigned char c : answer)
    if (!is_url_byte(c)) return {};
  return Text(answer);
}

}  // namespace

Text PercentEncodeGbk(std::string_view gbk) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  Text out;
  out.reserve(gbk.size() * 3);
  for (unsigned char c : gbk) {
    if (is_ascii_alnum(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

Text PercentEncodeUtf8(std::string_view gbk) { return PercentEncodeGbk(gbk_to_utf8(gbk)); }

Text ShortLinkBaidu(std::string_view base_url, std::string_view link) {
  const Text body = txt_join("url=", PercentEncodeUtf8(link), "&alias=&access_type=web");
  const Text answer = fetch_text(txt_join(base_of(base_url), "/create.php"), "POST", body);
  const int key = txt_find(answer, "tinyurl", std::nullopt, true);
  // The value starts after the key's closing quote, the colon and the opening
  // quote, and runs to its own closing quote; keys after it do not leak in.
  const int value_start = key + 7 + 3;
  if (key < 0 || txt_mid(answer, key + 7, 3) != "\":\"") return {};
  const int value_end = txt_find(answer, "\"", value_start);
  if (value_end < 0) return {};
  return single_url(txt_replace(txt_mid(answer, value_start, value_end - value_start), "\\/", "/"));
}

Text ShortLinkCnzz(std::string_view base_url, std::string_view link) {
  const Text url =
      txt_join(base_of(base_url), "/v1/data/link_conv/rd_dispatcher.php?orig_link=", PercentEncodeGbk(link));
  return single_url(fetch_text(url, "", ""));
}

Text ShortLinkBaid(std::string_view base_url, std::string_view link) {
  const Text url = txt_join(base_of(base_url), "/?url=", PercentEncodeGbk(link));
  int pos = 0;
  return ExtractBetween(fetch_text(url, "", ""), "{'url':'", "'", pos);
}

void ShortenLink(Text& link, int service_index, const Endpoints& endpoints) {
  Text short_link;
  switch (service_index) {
    case 0:
      short_link = ShortLinkBaidu(endpoints.baidu, link);
      break;
    case 1:
      short_link = ShortLinkCnzz(endpoints.cnzz, link);
      break;
    case 2:
      short_link = ShortLinkBaid(endpoints.baid, link);
      break;
    default:
      return;
  }
  // A service that yields nothing must not cost the page its working long link.
  if (!short_link.empty()) link = short_link;
}

}  // namespace quill
