#include "shortlink/short_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string_view>

#include "base/codepage.h"
#include "support/loopback_server.h"
#include "support/sandbox_process.h"

namespace quill::shortlink {
namespace {

TEST(PercentEncode, LettersAndDigitsPassEverythingElseIsEncoded) {
  EXPECT_EQ(PercentEncodeGbk("http://a.b/c?d=1&e_f-g~"), "http%3A%2F%2Fa%2Eb%2Fc%3Fd%3D1%26e%5Ff%2Dg%7E");
}

TEST(PercentEncode, GbkKeepsBytesUtf8ConvertsFirst) {
  const Text word = gbk("女");  // C5 AE in GBK, E5 A5 B3 in UTF-8
  EXPECT_EQ(PercentEncodeGbk(word), "%C5%AE");
  EXPECT_EQ(PercentEncodeUtf8(word), "%E5%A5%B3");
  EXPECT_EQ(PercentEncodeGbk(""), "");
}

using testing::LoopbackConnection;
using testing::LoopbackServer;

// A request's path and the value of one of its query or form fields, with
// "%XX" decoded ("" when absent).
std::string path_of(const testing::RawRequest& request) {
  const std::size_t start = request.line.find(' ') + 1;
  return request.line.substr(start, request.line.find_first_of("? ", start) - start);
}

std::string field(const testing::RawRequest& request, std::string_view name) {
  const std::size_t query = request.line.find('?');
  const std::string pairs = query == std::string::npos
                                ? request.body
                                : request.line.substr(query + 1, request.line.rfind(' ') - query - 1);
  const std::string key = std::string(name) + "=";
  std::size_t at = pairs.rfind(key, 0) == 0 ? 0 : pairs.find("&" + key);
  if (at == std::string::npos) return "";
  at += pairs[at] == '&' ? key.size() + 1 : key.size();
  std::string value;
  for (; at < pairs.size() && pairs[at] != '&'; ++at) {
    if (pairs[at] == '%' && at + 2 < pairs.size()) {
      value += static_cast<char>(std::stoi(pairs.substr(at + 1, 2), nullptr, 16));
      at += 2;
    } else {
      value += pairs[at];
    }
  }
  return value;
}

// A head announcing 1000 bytes, then the connection ends: no answer.
constexpr std::string_view kCutOff = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n";

// A real HTTP server on loopback that answers each service's path with a fixed body.
class ServiceServer : public ::testing::Test {
 protected:
  Services services() const { return {base, base, base}; }

  std::mutex mutex;
  std::string answer, last_body, last_query;
  LoopbackServer server{[this](LoopbackConnection& connection) {
    const testing::RawRequest request = testing::RawRequest::parse(connection.request());
    std::string reply;
    {
      std::lock_guard lock(mutex);
      if (request.line.starts_with("POST /create.php "))
        last_body = request.body;
      else
        last_query = field(request, path_of(request) == "/" ? "url" : "orig_link");
      reply = LoopbackServer::ok(answer);
    }
    connection.send(reply);
  }};
  Text base = server.url("");
};

const Text kLink = "http://s.click.example/t?e=1&u=2";
const net::Channel kPlain{&NoUiWaiter(), kShortLinkWait, {}};

TEST_F(ServiceServer, BaiduPostsEncodedLinkAndUnescapesSlashes) {
  answer = R"({"status":0,"tinyurl":"http:\/\/dwz.cn\/abc"})";
  EXPECT_EQ(ShortLinkBaidu(base, kLink, kPlain).short_link, "http://dwz.cn/abc");
  EXPECT_EQ(last_body, "url=http%3A%2F%2Fs%2Eclick%2Eexample%2Ft%3Fe%3D1%26u%3D2&alias=&access_type=web");
}

TEST_F(ServiceServer, BaiduAnswerWithoutKeyYieldsNothing) {
  answer = R"({"status":-1,"err_msg":"bad"})";
  EXPECT_EQ(ShortLinkBaidu(base, kLink, kPlain).short_link, "");
  answer = R"({"tinyurl":"x")";
  EXPECT_EQ(ShortLinkBaidu(base, kLink, kPlain).short_link, "");
  answer = R"({"tinyurl":"http:\/\/dwz.cn\/abc)";
  EXPECT_EQ(ShortLinkBaidu(base, kLink, kPlain).short_link, "");
}

TEST_F(ServiceServer, BaiduKeysAfterTheShortLinkDoNotLeakIntoIt) {
  answer = R"({"status":0,"tinyurl":"http:\/\/dwz.cn\/abc","longurl":"http:\/\/long.example\/x"})";
  EXPECT_EQ(ShortLinkBaidu(base, kLink, kPlain).short_link, "http://dwz.cn/abc");
}

TEST_F(ServiceServer, CnzzTakesTheBodyOnlyWhenItIsOneUrl) {
  answer = "http://rdcnzz.example/q1\r\n";
  EXPECT_EQ(ShortLinkCnzz(base, kLink, kPlain).short_link, "http://rdcnzz.example/q1");
  EXPECT_EQ(last_query, kLink);
  answer = "<html>error</html>";
  EXPECT_EQ(ShortLinkCnzz(base, kLink, kPlain).short_link, "");
  answer = "http://a.example/1 http://b.example/2";
  EXPECT_EQ(ShortLinkCnzz(base, kLink, kPlain).short_link, "");
  answer = "HTTPS://a.example/1";
  EXPECT_EQ(ShortLinkCnzz(base, kLink, kPlain).short_link, "HTTPS://a.example/1");
}

TEST_F(ServiceServer, BaidTakesTheQuotedUrl) {
  answer = "{'url':'http://baid.example/z9','status':'ok'}";
  EXPECT_EQ(ShortLinkBaid(base, kLink, kPlain).short_link, "http://baid.example/z9");
  answer = "{\"url\":\"http://baid.example/z9\"}";
  EXPECT_EQ(ShortLinkBaid(base, kLink, kPlain).short_link, "");
}

TEST_F(ServiceServer, BaidAnswerMustBeOneUrl) {
  answer = "{'url':'http://x.example/\"><script>alert(1)</script>'}";
  EXPECT_EQ(ShortLinkBaid(base, kLink, kPlain).short_link, "");
}

TEST_F(ServiceServer, ShortenerKeepsTheLongLinkWhenTheServiceYieldsNothing) {
  LinkShortener shortener(services(), kPlain);
  answer = "";
  Text link = kLink;
  for (int service : {0, 1, 2, -1, 3}) {
    shortener.Shorten(link, service);
    EXPECT_EQ(link, kLink) << service;
  }
  answer = "{'url':'http://baid.example/z9'}";
  shortener.Shorten(link, 2);
  EXPECT_EQ(link, "http://baid.example/z9");
  EXPECT_TRUE(shortener.outages().empty());
}

TEST(LinkShortener, ServiceThatGivesNoAnswerIsNotAskedAgain) {
  std::atomic<int> hits = 0;
  LoopbackServer server([&](LoopbackConnection& connection) {
    ++hits;
    connection.send(kCutOff);
  });
  const Text base = server.url("");
  LinkShortener shortener({base, base, base}, kPlain);
  for (int i = 0; i < 5; ++i) {
    Text link = kLink;
    shortener.Shorten(link, 1);
    EXPECT_EQ(link, kLink);
  }
  EXPECT_EQ(hits, 1);
  ASSERT_EQ(shortener.outages().size(), 1u);
  EXPECT_EQ(shortener.outages()[0].service, 1);
}

std::vector<Text> sample_links() {
  std::vector<Text> links;
  for (int i = 0; i < 14; ++i)
    links.push_back("http://s.click.example/t?e=" + std::to_string(i * 7919) + "&u=2");
  links.push_back(gbk("http://s.click.example/店铺?q=连衣裙"));
  links.push_back("");
  links.push_back(links[3]);
  return links;
}

std::vector<Text*> pointers(std::vector<Text>& links) {
  std::vector<Text*> out;
  for (Text& link : links) out.push_back(&link);
  return out;
}

// Many links at once come out exactly as one by one, each asked once.
TEST(ShortenAll, AgreesWithOneByOneForEveryService) {
  QUILL_SKIP_WITHOUT_SANDBOX();
  testing::SandboxProcess sandbox;
  ASSERT_TRUE(sandbox.running());
  const Services services{sandbox.url(), sandbox.url(), sandbox.url()};
  for (int service = 0; service < kServiceCount; ++service) {
    const std::size_t before = sandbox.log_lines().size();
    std::vector<Text> one_by_one = sample_links();
    LinkShortener single(services, kPlain);
    for (Text& link : one_by_one) single.Shorten(link, service);
    const std::size_t asked = sandbox.log_lines().size() - before;

    for (int jobs : {0, 4, 64}) {
      std::vector<Text> together = sample_links();
      std::vector<Text*> targets = pointers(together);
      targets.insert(targets.begin() + 2, nullptr);
      LinkShortener shortener(services, kPlain);
      shortener.ShortenAll(targets, service, jobs);
      EXPECT_EQ(together, one_by_one) << service << " " << jobs;
      EXPECT_NE(together[0], sample_links()[0]) << service;
      EXPECT_TRUE(shortener.outages().empty());
    }
    EXPECT_EQ(sandbox.log_lines().size() - before, asked * 4) << service;
  }
}

// The service goes silent at one link: that link and every one after it stay
// long, as they would one by one, though some were already asked.
TEST(ShortenAll, SilentServiceLeavesTheLinksAfterItLong) {
  std::atomic<int> hits = 0;
  LoopbackServer server([&](LoopbackConnection& connection) {
    ++hits;
    const std::string link = field(testing::RawRequest::parse(connection.request()), "orig_link");
    if (link.find("silent") == std::string::npos)
      connection.send(LoopbackServer::ok("http://short.example/" + std::to_string(link.size())));
    else
      connection.send(kCutOff);
  });
  const Text base = server.url("");

  const std::vector<Text> original = {"http://a.example/1", "http://a.example/22", "http://a.example/silent",
                                      "http://a.example/4444", "http://a.example/55555"};
  std::vector<Text> links = original;
  LinkShortener shortener({base, base, base}, kPlain);
  shortener.ShortenAll(pointers(links), 1, 3);
  EXPECT_EQ(links[0], "http://short.example/18");
  EXPECT_EQ(links[1], "http://short.example/19");
  EXPECT_EQ(std::vector<Text>(links.begin() + 2, links.end()),
            std::vector<Text>(original.begin() + 2, original.end()));
  ASSERT_EQ(shortener.outages().size(), 1u);
  EXPECT_EQ(shortener.outages()[0].service, 1);
  const int asked = hits;
  EXPECT_LE(asked, 5);
  shortener.ShortenAll(pointers(links), 1, 3);
  EXPECT_EQ(hits, asked);
}

}  // namespace
}  // namespace quill::shortlink
