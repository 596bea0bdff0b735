#include "shortlink/short_link.h"

#include "base/codepage.h"
#include "base/convert.h"
#include "base/extract.h"
#include "base/hex.h"

namespace quill::shortlink {
namespace {

bool is_ascii_alnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The service's base URL without a trailing "/", so the fixed paths join cleanly.
std::string_view base_of(std::string_view base_url) {
  while (!base_url.empty() && base_url.back() == '/') base_url.remove_suffix(1);
  return base_url;
}

struct Answer {
  Text text;
  net::Failure failure;
};

Answer fetch_text(std::string_view url, std::string_view method, std::string_view body,
                  const net::Channel& channel) {
  net::Response response = net::Fetch(channel.request(url, method, body), *channel.waiter);
  return {response.ok() ? bytes_to_text(response.body) : Text(), response.failure};
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

Text ServiceName(int service) {
  static const Text names[kServiceCount] = {gbk("百度"), "CNZZ", "Baid"};
  return service >= 0 && service < kServiceCount ? names[service] : Text();
}

Text PercentEncodeGbk(std::string_view gbk) {
  Text out;
  out.reserve(gbk.size() * 3);
  for (unsigned char c : gbk) {
    if (is_ascii_alnum(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHexDigits[c >> 4]);
      out.push_back(kHexDigits[c & 0x0F]);
    }
  }
  return out;
}

Text PercentEncodeUtf8(std::string_view gbk) { return PercentEncodeGbk(gbk_to_utf8(gbk)); }

Attempt ShortLinkBaidu(std::string_view base_url, std::string_view link, const net::Channel& channel) {
  const Text body = txt_join("url=", PercentEncodeUtf8(link), "&alias=&access_type=web");
  const Answer answer = fetch_text(txt_join(base_of(base_url), "/create.php"), "POST", body, channel);
  const int key = txt_find(answer.text, "tinyurl", std::nullopt, true);
  // The value starts after the key's closing quote, the colon and the opening
  // quote, and runs to its own closing quote; keys after it do not leak in.
  const int value_start = key + 7 + 3;
  if (key < 0 || txt_mid(answer.text, key + 7, 3) != "\":\"") return {{}, answer.failure};
  const int value_end = txt_find(answer.text, "\"", value_start);
  if (value_end < 0) return {{}, answer.failure};
  const Text value = txt_mid(answer.text, value_start, value_end - value_start);
  return {single_url(txt_replace(value, "\\/", "/")), answer.failure};
}

Attempt ShortLinkCnzz(std::string_view base_url, std::string_view link, const net::Channel& channel) {
  const Text url =
      txt_join(base_of(base_url), "/v1/data/link_conv/rd_dispatcher.php?orig_link=", PercentEncodeGbk(link));
  const Answer answer = fetch_text(url, "", "", channel);
  return {single_url(answer.text), answer.failure};
}

// The answer's link passes the same single-URL check as the other services', so
// a reply cannot put markup into the page.
Attempt ShortLinkBaid(std::string_view base_url, std::string_view link, const net::Channel& channel) {
  const Text url = txt_join(base_of(base_url), "/?url=", PercentEncodeGbk(link));
  const Answer answer = fetch_text(url, "", "", channel);
  int pos = 0;
  return {single_url(ExtractBetween(answer.text, "{'url':'", "'", pos)), answer.failure};
}

LinkShortener::LinkShortener(Services services, net::Channel channel)
    : services_(std::move(services)), channel_(std::move(channel)) {}

bool LinkShortener::is_down(int service) const {
  for (const Outage& outage : outages_)
    if (outage.service == service) return true;
  return false;
}

void LinkShortener::Shorten(Text& link, int service_index) {
  if (service_index < 0 || service_index >= kServiceCount || is_down(service_index)) return;
  Attempt attempt;
  if (service_index == 0) attempt = ShortLinkBaidu(services_.baidu, link, channel_);
  if (service_index == 1) attempt = ShortLinkCnzz(services_.cnzz, link, channel_);
  if (service_index == 2) attempt = ShortLinkBaid(services_.baid, link, channel_);
  // A service that does not answer at all would cost a full wait per link.
  const bool no_answer = attempt.failure != net::Failure::none && attempt.failure != net::Failure::stopped;
  if (no_answer) outages_.push_back({service_index, attempt.failure});
  // A service that yields nothing must not cost the page its working long link.
  if (!attempt.short_link.empty()) link = attempt.short_link;
}

}  // namespace quill::shortlink
