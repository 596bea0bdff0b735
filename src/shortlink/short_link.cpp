#include "shortlink/short_link.h"

#include <algorithm>
#include <deque>

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

namespace {

// Each service as a request for a link and a reading of its answer.
net::Request baidu_request(std::string_view base_url, std::string_view link, const net::Channel& channel) {
  const Text body = txt_join("url=", PercentEncodeUtf8(link), "&alias=&access_type=web");
  return channel.request(txt_join(base_of(base_url), "/create.php"), "POST", body);
}

Text baidu_link(std::string_view answer) {
  const int key = txt_find(answer, "tinyurl", std::nullopt, true);
  // The value starts after the key's closing quote, the colon and the opening
  // quote, and runs to its own closing quote; keys after it do not leak in.
  const int value_start = key + 7 + 3;
  if (key < 0 || txt_mid(answer, key + 7, 3) != "\":\"") return {};
  const int value_end = txt_find(answer, "\"", value_start);
  if (value_end < 0) return {};
  return single_url(txt_replace(txt_mid(answer, value_start, value_end - value_start), "\\/", "/"));
}

net::Request cnzz_request(std::string_view base_url, std::string_view link, const net::Channel& channel) {
  return channel.request(
      txt_join(base_of(base_url), "/v1/data/link_conv/rd_dispatcher.php?orig_link=", PercentEncodeGbk(link)),
      "", "");
}

Text cnzz_link(std::string_view answer) { return single_url(answer); }

net::Request baid_request(std::string_view base_url, std::string_view link, const net::Channel& channel) {
  return channel.request(txt_join(base_of(base_url), "/?url=", PercentEncodeGbk(link)), "", "");
}

// The answer's link passes the same single-URL check as the other services', so
// a reply cannot put markup into the page.
Text baid_link(std::string_view answer) {
  int pos = 0;
  return single_url(ExtractBetween(answer, "{'url':'", "'", pos));
}

Attempt attempt_of(const net::Response& response, Text (*read)(std::string_view)) {
  return {response.ok() ? read(bytes_to_text(response.body)) : Text(), response.failure};
}

struct Service {
  net::Request (*request)(std::string_view base_url, std::string_view link, const net::Channel& channel);
  Text (*read)(std::string_view answer);
};
constexpr Service kServices[kServiceCount] = {
    {baidu_request, baidu_link}, {cnzz_request, cnzz_link}, {baid_request, baid_link}};

}  // namespace

Attempt ShortLinkBaidu(std::string_view base_url, std::string_view link, const net::Channel& channel) {
  return attempt_of(net::Fetch(baidu_request(base_url, link, channel), *channel.waiter), baidu_link);
}

Attempt ShortLinkCnzz(std::string_view base_url, std::string_view link, const net::Channel& channel) {
  return attempt_of(net::Fetch(cnzz_request(base_url, link, channel), *channel.waiter), cnzz_link);
}

Attempt ShortLinkBaid(std::string_view base_url, std::string_view link, const net::Channel& channel) {
  return attempt_of(net::Fetch(baid_request(base_url, link, channel), *channel.waiter), baid_link);
}

LinkShortener::LinkShortener(Services services, net::Channel channel)
    : services_(std::move(services)), channel_(std::move(channel)) {
  if (!channel_.waiter) channel_.waiter = &NoUiWaiter();
}

bool LinkShortener::is_down(int service) const {
  for (const Outage& outage : outages_)
    if (outage.service == service) return true;
  return false;
}

const Text& LinkShortener::base_url(int service) const {
  return service == 0 ? services_.baidu : service == 1 ? services_.cnzz : services_.baid;
}

void LinkShortener::Shorten(Text& link, int service_index) { ShortenAll({&link}, service_index, 1); }

// Answers are taken in the links' order, so that a service going silent at one
// link leaves exactly the links after it long, as asking one by one would;
// answers already on their way for those are dropped.
void LinkShortener::ShortenAll(const std::vector<Text*>& links, int service_index, int jobs) {
  if (service_index < 0 || service_index >= kServiceCount || is_down(service_index)) return;
  const Service& service = kServices[service_index];
  const std::size_t most = static_cast<std::size_t>(std::max(jobs, 1));
  struct Out {
    Text* link;
    net::Transfer transfer;
  };
  std::deque<Out> out;
  std::size_t next = 0;
  auto send_more = [&] {
    for (; out.size() < most && next < links.size(); ++next) {
      Text* link = links[next];
      if (link)
        out.push_back({link, net::Transfer(service.request(base_url(service_index), *link, channel_))});
    }
  };
  for (send_more(); !out.empty(); send_more()) {
    const net::Response response = net::Await(out.front().transfer, channel_.wait, *channel_.waiter);
    const Attempt attempt = attempt_of(response, service.read);
    Text& link = *out.front().link;
    out.pop_front();
    if (attempt.failure == net::Failure::stopped) return;
    // A service that does not answer at all would cost a full wait per link.
    if (attempt.failure != net::Failure::none) {
      outages_.push_back({service_index, attempt.failure});
      return;
    }
    // A service that yields nothing must not cost the page its working long link.
    if (!attempt.short_link.empty()) link = attempt.short_link;
  }
}

}  // namespace quill::shortlink
