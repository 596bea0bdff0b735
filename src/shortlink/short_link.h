#pragma once
// Affiliate links to short links through one of three services.

#include <chrono>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "net/http.h"

namespace quill::shortlink {

// How long a link service may take to answer.
inline constexpr std::chrono::milliseconds kShortLinkWait = std::chrono::seconds(90);

// Where the three services answer.
struct Services {
  Text baidu = "http://dwz.cn";         // service 0, "百度"
  Text cnzz = "http://www.rdcnzz.com";  // service 1, "CNZZ"
  Text baid = "http://baid.cc";         // service 2, "Baid"
};
inline constexpr int kServiceCount = 3;
// "百度", "CNZZ", "Baid" (GBK); "" outside the list.
Text ServiceName(int service);

// Digits and ASCII letters pass; every other byte becomes %XX (upper case).
Text PercentEncodeGbk(std::string_view gbk);
Text PercentEncodeUtf8(std::string_view gbk);

// One service's answer to one link: the short link, "" when the service yielded
// none, and whether any answer came at all.
struct Attempt {
  Text short_link;
  net::Failure failure = net::Failure::none;
};
Attempt ShortLinkBaidu(std::string_view base_url, std::string_view link, const net::Channel& channel);
Attempt ShortLinkCnzz(std::string_view base_url, std::string_view link, const net::Channel& channel);
Attempt ShortLinkBaid(std::string_view base_url, std::string_view link, const net::Channel& channel);

// The short links of one run. A service that once gives no answer at all
// (refused, cut off, timed out) is not asked again: its links stay long.
class LinkShortener {
 public:
  LinkShortener(Services services, net::Channel channel);
  // Service 0, 1 or 2 replaces the link by its short form; when the service
  // yields no link the long one stays. Any other index sends nothing.
  void Shorten(Text& link, int service_index);
  // Shorten for every link, with up to jobs requests out at a time (below 1
  // counts as 1); every link ends as asking one by one would leave it. Null
  // entries are skipped.
  void ShortenAll(const std::vector<Text*>& links, int service_index, int jobs);

  struct Outage {
    int service;
    net::Failure failure;
  };
  const std::vector<Outage>& outages() const { return outages_; }

 private:
  bool is_down(int service) const;
  const Text& base_url(int service) const;

  Services services_;
  net::Channel channel_;
  std::vector<Outage> outages_;
};

}  // namespace quill::shortlink
