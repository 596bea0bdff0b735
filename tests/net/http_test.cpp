#include "openapi/http_transport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "base/ui_hooks.h"
#include "raw_server.h"

namespace quill {
namespace {

using testing::RawReply;
using testing::RawServer;
using Clock = std::chrono::steady_clock;

std::string as_string(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

RawServer::Handler answer(std::string body) {
  return [body](const std::string&) { return RawReply{RawServer::ok(body)}; };
}

// Pumps "events" on every call, as a busy window would.
class BusyWindow : public UiHooks {
 public:
  int show_message(const Text&, unsigned, const Text&) override { return kResultOk; }
  bool pump_events() override {
    ++pumps;
    return true;
  }
  bool quit_requested() const override { return quit_after >= 0 && pumps >= quit_after; }
  std::atomic<int> pumps{0};
  int quit_after = -1;
};

class InstalledHooks {
 public:
  explicit InstalledHooks(UiHooks& hooks) { set_ui_hooks(&hooks); }
  ~InstalledHooks() { set_ui_hooks(nullptr); }
};

const char* const kAccept =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";

TEST(HttpRequestHeaders, GetSendsBrowserHeadersInOrderAndNothingElse) {
  RawServer server(answer("hi"));
  std::string url = server.url("/a/b?q=1&r=2");
  EXPECT_EQ(as_string(HttpRequest(url, "", "", 5)), "hi");
  ASSERT_EQ(server.requests().size(), 1u);
  std::string request = server.requests()[0];
  EXPECT_EQ(testing::request_line(request), "GET /a/b?q=1&r=2 HTTP/1.1");
  EXPECT_EQ(testing::header_names(request),
            (std::vector<std::string>{"Host", "User-Agent", "Accept", "Referer", "Accept-Language"}));
  EXPECT_EQ(testing::header_value(request, "User-Agent"), kUserAgent);
  EXPECT_EQ(testing::header_value(request, "Accept"), kAccept);
  EXPECT_EQ(testing::header_value(request, "Referer"), url);
  EXPECT_EQ(testing::header_value(request, "Accept-Language"), "zh-cn");
}

TEST(HttpRequestHeaders, PostAddsFormTypeThenLengthAndNoExpect) {
  RawServer server(answer("ok"));
  std::string body(3000, 'x');  // large enough for curl to think of 100-continue
  EXPECT_EQ(as_string(HttpRequest(server.url("/router/rest?"), "post", body, 5)), "ok");
  ASSERT_EQ(server.requests().size(), 1u);
  std::string request = server.requests()[0];
  EXPECT_EQ(testing::request_line(request), "POST /router/rest? HTTP/1.1");
  EXPECT_EQ(testing::header_names(request),
            (std::vector<std::string>{"Host", "User-Agent", "Accept", "Referer", "Accept-Language",
                                      "Content-Type", "Content-Length"}));
  EXPECT_EQ(testing::header_value(request, "Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(testing::header_value(request, "Content-Length"), "3000");
  EXPECT_EQ(testing::request_body(request), body);
}

TEST(HttpRequestHeaders, UrlWithNothingAfterTheHostRequestsRoot) {
  RawServer server(answer("root"));
  std::string url = "http://127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(as_string(HttpRequest(url, "GET", "", 5)), "root");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(testing::request_line(server.requests()[0]), "GET / HTTP/1.1");
  EXPECT_EQ(testing::header_value(server.requests()[0], "Host"),
            "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(testing::header_value(server.requests()[0], "Referer"), url);
}

TEST(HttpRequestHeaders, UpperCaseHostAndSchemeAreAccepted) {
  RawServer server(answer("case"));
  std::string url = "HTTP://LOCALHOST:" + std::to_string(server.port()) + "/X";
  EXPECT_EQ(as_string(HttpRequest(url, "", "", 5)), "case");
}

TEST(HttpRequestBody, DeliversBodiesAroundTheReadBoundaryComplete) {
  for (std::size_t size : {0u, 1u, 511u, 512u, 513u, 1024u, 70000u}) {
    std::string body;
    for (std::size_t i = 0; i < size; ++i) body += static_cast<char>('a' + i % 26);
    RawServer server(answer(body));
    EXPECT_EQ(as_string(HttpRequest(server.url("/"), "", "", 5)), body) << size;
  }
}

TEST(HttpRequestBody, CloseDelimitedBodyOf512BytesIsComplete) {
  std::string body(512, 'z');
  RawServer server(
      [body](const std::string&) { return RawReply{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body}; });
  EXPECT_EQ(as_string(HttpRequest(server.url("/"), "", "", 5)), body);
}

TEST(HttpRequestBody, NulAndNonUtf8BytesArriveUnaltered) {
  std::string body("a\0b\xFF\xFE\xC3(\r\n\0", 10);
  RawServer server(answer(body));
  EXPECT_EQ(as_string(HttpRequest(server.url("/"), "", "", 5)), body);
}

TEST(HttpRequestBody, ErrorStatusBodyIsReturned) {
  RawServer server([](const std::string&) {
    return RawReply{
        "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 4\r\nConnection: close\r\n\r\noops"};
  });
  EXPECT_EQ(as_string(HttpRequest(server.url("/"), "", "", 5)), "oops");
}

TEST(HttpRequestBody, RedirectIsFollowedAndPostTurnsIntoGet) {
  RawServer* self = nullptr;
  RawServer server([&self](const std::string& request) {
    if (testing::request_line(request).find("/final") != std::string::npos)
      return RawReply{RawServer::ok("landed")};
    return RawReply{"HTTP/1.1 302 Found\r\nLocation: " + self->url("/final") +
                    "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"};
  });
  self = &server;
  EXPECT_EQ(as_string(HttpRequest(server.url("/start"), "POST", "a=1", 5)), "landed");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(testing::request_line(requests[1]), "GET /final HTTP/1.1");
  EXPECT_EQ(testing::header_value(requests[1], "Content-Length"), "");
}

TEST(HttpRequestBody, CookiesOfAnAnswerGoWithTheNextRequest) {
  RawServer server([](const std::string&) {
    return RawReply{RawServer::ok("c", "Set-Cookie: quill_probe=42; Path=/\r\n")};
  });
  HttpRequest(server.url("/first"), "", "", 5);
  HttpRequest(server.url("/second"), "", "", 5);
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(testing::header_value(requests[1], "Cookie"), "quill_probe=42");
}

TEST(HttpRequestFailure, BadUrlsAndMethodsGiveEmptyBytesWithoutRequest) {
  RawServer server(answer("never"));
  std::string port = std::to_string(server.port());
  for (const std::string& url : std::vector<std::string>{
           "127.0.0.1:" + port + "/", "ftp://127.0.0.1:" + port + "/", "http://127.0.0.1:99999/",
           "http://127.0.0.1:" + port + "x/", "", "http://"}) {
    EXPECT_TRUE(HttpRequest(url, "", "", 2).empty()) << url;
  }
  EXPECT_TRUE(HttpRequest(server.url("/"), "PUT", "x", 2).empty());
  EXPECT_TRUE(HttpRequest(server.url("/"), "", "", 0).empty());
  EXPECT_TRUE(server.requests().empty());
}

TEST(HttpRequestFailure, RefusedConnectionGivesEmptyBytesAtOnce) {
  int port = 0;
  {
    RawServer gone(answer(""));
    port = gone.port();
  }
  auto start = Clock::now();
  EXPECT_TRUE(HttpRequest("http://127.0.0.1:" + std::to_string(port) + "/", "", "", 5).empty());
  EXPECT_LT(seconds_since(start), 2.0);
}

TEST(HttpRequestFailure, DroppedConnectionAndResetMidBodyGiveEmptyBytes) {
  RawServer dropping([](const std::string&) { return RawReply{"", 0, true}; });
  EXPECT_TRUE(HttpRequest(dropping.url("/"), "", "", 5).empty());
  RawServer cut([](const std::string&) {
    return RawReply{"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n" +
                    std::string(100, 'p')};
  });
  EXPECT_TRUE(HttpRequest(cut.url("/"), "", "", 5).empty());
}

TEST(HttpRequestFailure, BodyOverTheLimitGivesEmptyBytes) {
  RawServer server([](const std::string&) {
    return RawReply{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(kMaxBodyBytes + 1, 'h')};
  });
  EXPECT_TRUE(HttpRequest(server.url("/"), "", "", 10).empty());
}

TEST(HttpRequestWait, SlowAnswerTimesOutAtTheDeadlineWhenNothingIsPumped) {
  RawServer server([](const std::string&) { return RawReply{RawServer::ok("late"), 3000}; });
  auto start = Clock::now();
  EXPECT_TRUE(HttpRequest(server.url("/"), "", "", 1).empty());
  double took = seconds_since(start);
  EXPECT_GE(took, 0.95);
  EXPECT_LT(took, 2.0);
}

TEST(HttpRequestWait, PumpedEventsKeepTheRequestAliveBeyondItsWait) {
  BusyWindow window;
  InstalledHooks installed(window);
  RawServer server([](const std::string&) { return RawReply{RawServer::ok("worth the wait"), 2500}; });
  EXPECT_EQ(as_string(HttpRequest(server.url("/"), "", "", 1)), "worth the wait");
  EXPECT_GT(window.pumps.load(), 10);
}

TEST(HttpRequestWait, QuitRequestAbandonsTheWait) {
  BusyWindow window;
  window.quit_after = 5;
  InstalledHooks installed(window);
  RawServer server([](const std::string&) { return RawReply{RawServer::ok("too late"), 3000}; });
  auto start = Clock::now();
  EXPECT_TRUE(HttpRequest(server.url("/"), "", "", 30).empty());
  EXPECT_LT(seconds_since(start), 1.0);
}

TEST(HttpRequestWait, StalledServerEndsTheWorkerEvenWhileEventsArePumped) {
  BusyWindow window;
  InstalledHooks installed(window);
  RawServer server([](const std::string&) { return RawReply{RawServer::ok("never"), 20000}; });
  auto start = Clock::now();
  EXPECT_TRUE(HttpRequest(server.url("/"), "", "", 1).empty());
  EXPECT_LT(seconds_since(start), 8.0);
}

}  // namespace
}  // namespace quill
