#include "net/http.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "support/loopback_server.h"

namespace quill::net {
namespace {

using namespace std::chrono_literals;

using testing::LoopbackConnection;
using testing::LoopbackServer;
using testing::RawRequest;

// What a scripted server does with one request: answer with these bytes after
// a delay, or close the connection without a byte.
struct RawReply {
  std::string bytes;
  int delay_ms = 0;
  bool drop = false;
};

class RawServer : public LoopbackServer {
 public:
  using Handler = std::function<RawReply(const std::string& request)>;
  explicit RawServer(Handler handler)
      : LoopbackServer([handler = std::move(handler)](LoopbackConnection& connection) {
          const RawReply reply = handler(connection.request());
          if (reply.drop || !connection.wait_ms(reply.delay_ms)) return;
          connection.send(reply.bytes);
        }) {}
};

std::string request_line(const std::string& request) { return RawRequest::parse(request).line; }
std::string header_value(const std::string& request, const std::string& name) {
  return RawRequest::parse(request).header(name);
}
std::vector<std::string> header_names(const std::string& request) {
  return RawRequest::parse(request).header_names();
}
std::string request_body(const std::string& request) { return RawRequest::parse(request).body; }
using Clock = std::chrono::steady_clock;

std::string as_string(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The body of one fetched request; empty on any failure.
Bytes fetch_body(std::string_view url, std::string_view method, std::string_view body,
                 std::chrono::milliseconds wait, Waiter& waiter = NoUiWaiter()) {
  Response response = Fetch({Text(url), Text(method), Text(body), wait, {}}, waiter);
  return response.ok() ? std::move(response.body) : Bytes();
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

RawServer::Handler answer(std::string body) {
  return [body](const std::string&) { return RawReply{RawServer::ok(body)}; };
}

// A window on a clock of its own: every pump handles an event (when busy) and
// moves the clock on by step, so waits of seconds pass in milliseconds.
class FakeWindow final : public Waiter {
 public:
  explicit FakeWindow(bool busy, std::chrono::milliseconds step = 100ms) : busy_(busy), step_(step) {}
  bool pump() override {
    if (clock_stops_after < 0 || pumps < clock_stops_after) now_ += step_;
    ++pumps;
    return busy_;
  }
  bool stop_requested() const override { return stop_after >= 0 && pumps >= stop_after; }
  Clock::time_point now() const override { return now_; }
  std::atomic<int> pumps{0};  // read by servers' threads too
  int stop_after = -1;
  int clock_stops_after = -1;  // then time stands still, however long the real wait

 private:
  bool busy_;
  std::chrono::milliseconds step_;
  Clock::time_point now_{};
};

RawServer::Handler never_answers() {
  return [](const std::string&) { return RawReply{RawServer::ok("never"), 60000}; };
}

const char* const kAccept =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";

TEST(FetchHeaders, GetSendsBrowserHeadersInOrderAndNothingElse) {
  RawServer server(answer("hi"));
  std::string url = server.url("/a/b?q=1&r=2");
  EXPECT_EQ(as_string(fetch_body(url, "", "", 5s)), "hi");
  ASSERT_EQ(server.requests().size(), 1u);
  std::string request = server.requests()[0];
  EXPECT_EQ(request_line(request), "GET /a/b?q=1&r=2 HTTP/1.1");
  EXPECT_EQ(header_names(request),
            (std::vector<std::string>{"Host", "User-Agent", "Accept", "Referer", "Accept-Language"}));
  EXPECT_EQ(header_value(request, "User-Agent"), kUserAgent);
  EXPECT_EQ(header_value(request, "Accept"), kAccept);
  EXPECT_EQ(header_value(request, "Referer"), url);
  EXPECT_EQ(header_value(request, "Accept-Language"), "zh-cn");
}

TEST(FetchHeaders, PostAddsFormTypeThenLengthAndNoExpect) {
  RawServer server(answer("ok"));
  std::string body(3000, 'x');  // large enough for curl to think of 100-continue
  EXPECT_EQ(as_string(fetch_body(server.url("/router/rest?"), "post", body, 5s)), "ok");
  ASSERT_EQ(server.requests().size(), 1u);
  std::string request = server.requests()[0];
  EXPECT_EQ(request_line(request), "POST /router/rest? HTTP/1.1");
#ifdef _WIN32
  // WinINet places Host and Content-Length itself and marks a POST no-cache.
  std::vector<std::string> ours = header_names(request);
  std::erase_if(ours, [](const std::string& name) {
    return name == "Host" || name == "Content-Length" || name == "Cache-Control";
  });
  EXPECT_EQ(ours,
            (std::vector<std::string>{"User-Agent", "Accept", "Referer", "Accept-Language", "Content-Type"}));
#else
  EXPECT_EQ(header_names(request),
            (std::vector<std::string>{"Host", "User-Agent", "Accept", "Referer", "Accept-Language",
                                      "Content-Type", "Content-Length"}));
#endif
  EXPECT_EQ(header_value(request, "Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(header_value(request, "Content-Length"), "3000");
  EXPECT_EQ(request_body(request), body);
}

TEST(FetchHeaders, UrlWithNothingAfterTheHostRequestsRoot) {
  RawServer server(answer("root"));
  std::string url = "http://127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(as_string(fetch_body(url, "GET", "", 5s)), "root");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(request_line(server.requests()[0]), "GET / HTTP/1.1");
  EXPECT_EQ(header_value(server.requests()[0], "Host"), "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(header_value(server.requests()[0], "Referer"), url);
}

TEST(FetchHeaders, UpperCaseHostAndSchemeAreAccepted) {
  RawServer server(answer("case"));
  std::string url = "HTTP://LOCALHOST:" + std::to_string(server.port()) + "/X";
  EXPECT_EQ(as_string(fetch_body(url, "", "", 5s)), "case");
}

TEST(FetchBody, DeliversBodiesAroundTheReadBoundaryComplete) {
  for (std::size_t size : {0u, 1u, 511u, 512u, 513u, 1024u, 70000u}) {
    std::string body;
    for (std::size_t i = 0; i < size; ++i) body += static_cast<char>('a' + i % 26);
    RawServer server(answer(body));
    EXPECT_EQ(as_string(fetch_body(server.url("/"), "", "", 5s)), body) << size;
  }
}

TEST(FetchBody, CloseDelimitedBodyOf512BytesIsComplete) {
  std::string body(512, 'z');
  RawServer server(
      [body](const std::string&) { return RawReply{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body}; });
  EXPECT_EQ(as_string(fetch_body(server.url("/"), "", "", 5s)), body);
}

TEST(FetchBody, NulAndNonUtf8BytesArriveUnaltered) {
  std::string body("a\0b\xFF\xFE\xC3(\r\n\0", 10);
  RawServer server(answer(body));
  EXPECT_EQ(as_string(fetch_body(server.url("/"), "", "", 5s)), body);
}

TEST(FetchBody, ErrorStatusBodyIsReturned) {
  RawServer server([](const std::string&) {
    return RawReply{
        "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 4\r\nConnection: close\r\n\r\noops"};
  });
  EXPECT_EQ(as_string(fetch_body(server.url("/"), "", "", 5s)), "oops");
}

TEST(FetchBody, RedirectIsFollowedAndPostTurnsIntoGet) {
  RawServer* self = nullptr;
  RawServer server([&self](const std::string& request) {
    if (request_line(request).find("/final") != std::string::npos) return RawReply{RawServer::ok("landed")};
    return RawReply{"HTTP/1.1 302 Found\r\nLocation: " + self->url("/final") +
                    "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"};
  });
  self = &server;
  EXPECT_EQ(as_string(fetch_body(server.url("/start"), "POST", "a=1", 5s)), "landed");
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(request_line(requests[1]), "GET /final HTTP/1.1");
  EXPECT_EQ(header_value(requests[1], "Content-Length"), "");
}

// No caller needs cookies: a run leaves nothing for the next one to send.
TEST(FetchBody, CookiesOfAnAnswerAreNeverSentBack) {
  RawServer server([](const std::string&) {
    return RawReply{RawServer::ok("c", "Set-Cookie: quill_probe=42; Path=/\r\n")};
  });
  fetch_body(server.url("/first"), "", "", 5s);
  fetch_body(server.url("/second"), "", "", 5s);
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(header_value(requests[1], "Cookie"), "");
}

TEST(FetchFailure, BadUrlsAndMethodsGiveEmptyBytesWithoutRequest) {
  RawServer server(answer("never"));
  std::string port = std::to_string(server.port());
  for (const std::string& url : std::vector<std::string>{
           "127.0.0.1:" + port + "/", "ftp://127.0.0.1:" + port + "/", "http://127.0.0.1:99999/",
           "http://127.0.0.1:" + port + "x/", "", "http://"}) {
    EXPECT_TRUE(fetch_body(url, "", "", 2s).empty()) << url;
  }
  EXPECT_TRUE(fetch_body(server.url("/"), "PUT", "x", 2s).empty());
  EXPECT_TRUE(fetch_body(server.url("/"), "", "", 0s).empty());
  EXPECT_TRUE(server.requests().empty());
}

TEST(FetchFailure, RefusedConnectionGivesEmptyBytesAtOnce) {
  int port = 0;
  {
    RawServer gone(answer(""));
    port = gone.port();
  }
  auto start = Clock::now();
  EXPECT_TRUE(fetch_body("http://127.0.0.1:" + std::to_string(port) + "/", "", "", 120s).empty());
  EXPECT_LT(seconds_since(start), 60.0);  // no waiting out the wait time
}

TEST(FetchFailure, DroppedConnectionAndResetMidBodyGiveEmptyBytes) {
  RawServer dropping([](const std::string&) { return RawReply{"", 0, true}; });
  EXPECT_TRUE(fetch_body(dropping.url("/"), "", "", 5s).empty());
  RawServer cut([](const std::string&) {
    return RawReply{"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n" +
                    std::string(100, 'p')};
  });
  EXPECT_TRUE(fetch_body(cut.url("/"), "", "", 5s).empty());
}

TEST(FetchFailure, BodyOverTheLimitGivesEmptyBytes) {
  RawServer server([](const std::string&) {
    return RawReply{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(kMaxBodyBytes + 1, 'h')};
  });
  EXPECT_TRUE(fetch_body(server.url("/"), "", "", 10s).empty());
}

TEST(HttpWait, QuietWindowTimesOutAtTheWaitTime) {
  RawServer server(never_answers());
  FakeWindow quiet(false);
  const Response response = Fetch({server.url("/"), "", "", 1s, {}}, quiet);
  EXPECT_EQ(response.failure, Failure::timed_out);
  EXPECT_EQ(quiet.pumps.load(), 10);  // 1 s of 100 ms steps
}

TEST(HttpWait, EventsExtendTheWaitButNeverBeyondTheCeiling) {
  RawServer server(never_answers());
  FakeWindow busy(true);
  const Response response = Fetch({server.url("/"), "", "", 1s, {}}, busy);
  EXPECT_EQ(response.failure, Failure::timed_out);
  EXPECT_EQ(busy.pumps.load(), 10 * kCeilingFactor);
}

TEST(HttpWait, AnswerArrivingWhileEventsArePumpedIsDelivered) {
  // Each pump is 100 ms on the window's clock: the answer is sent only after
  // 1.5 s of it, beyond the 1 s wait of a quiet window but inside the ceiling,
  // where the window's clock stops until the answer is in.
  FakeWindow busy(true);
  busy.clock_stops_after = 15;
  LoopbackServer server([&busy](LoopbackConnection& connection) {
    while (busy.pumps < 15)
      if (!connection.wait_ms(5)) return;
    connection.send(RawServer::ok("worth the wait"));
  });
  EXPECT_EQ(as_string(fetch_body(server.url("/"), "", "", 1s, busy)), "worth the wait");
  EXPECT_GE(busy.pumps.load(), 15);
}

TEST(HttpWait, StopRequestEndsTheWaitAtOnce) {
  RawServer server(never_answers());
  FakeWindow window(true);
  window.stop_after = 3;
  EXPECT_EQ(Fetch({server.url("/"), "", "", 30s, {}}, window).failure, Failure::stopped);
  EXPECT_EQ(window.pumps.load(), 3);
}

TEST(HttpTransfers, StartedTogetherRunTogether) {
  RawServer slow(never_answers());
  RawServer quick([](const std::string&) { return RawReply{RawServer::ok("quick"), 5}; });
  Transfer stuck({slow.url("/"), "", "", 120s, {}});
  Transfer fast({quick.url("/"), "", "", 120s, {}});
  // Well before the slow server's minute: one behind the other would wait it out.
  ASSERT_TRUE(fast.wait_for(30s));
  EXPECT_EQ(as_string(fast.take().body), "quick");
}

TEST(HttpTransfers, AbandoningOneNeverBlocks) {
  RawServer server(never_answers());
  const auto start = Clock::now();
  for (int i = 0; i < 20; ++i) Transfer abandoned({server.url("/"), "", "", 120s, {}});
  EXPECT_LT(seconds_since(start), 30.0);  // a blocking one waits out the server's minute
}

// Six answers of 48 MiB at once, each held back at 44 MiB until all six got
// there: together they would pass the bound on bytes in flight, so some fail
// as too large before that point, and the others then arrive whole.
TEST(HttpTransfers, AnswersInFlightShareOneBound) {
  constexpr std::size_t kTransfers = 6, kBody = 48u << 20, kHeld = 44u << 20;
  static_assert(kTransfers * kHeld > kMaxBytesInFlight && kBody < kMaxBodyBytes);
  std::mutex mutex;
  std::condition_variable all_held;
  std::size_t held = 0;
  LoopbackServer server([&](LoopbackConnection& connection) {
    const std::string block(1u << 20, 'x');
    bool sending = connection.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kBody) +
                                   "\r\nConnection: close\r\n\r\n");
    for (std::size_t sent = 0; sending && sent < kHeld; sent += block.size()) sending = connection.send(block);
    {
      std::unique_lock lock(mutex);
      ++held;
      all_held.notify_all();
      all_held.wait_for(lock, 60s, [&] { return held == kTransfers; });
    }
    for (std::size_t sent = kHeld; sending && sent < kBody; sent += block.size()) sending = connection.send(block);
  });
  std::vector<Transfer> transfers;
  for (std::size_t i = 0; i < kTransfers; ++i) transfers.emplace_back(Request{server.url("/"), "", "", 60s, {}});
  std::size_t whole = 0, too_large = 0;
  for (Transfer& transfer : transfers) {
    const Response response = Await(transfer, 60s, NoUiWaiter());
    whole += response.ok() && response.body.size() == kBody;
    too_large += response.failure == Failure::too_large;
  }
  EXPECT_EQ(whole + too_large, kTransfers);
  EXPECT_GE(too_large, 1u);
  EXPECT_GE(whole, 1u);
}

TEST(HttpTransfers, FailuresSayWhy) {
  int gone_port = 0;
  {
    RawServer gone(answer(""));
    gone_port = gone.port();
  }
  EXPECT_EQ(
      Fetch({"http://127.0.0.1:" + std::to_string(gone_port) + "/", "", "", 5s, {}}, NoUiWaiter()).failure,
      Failure::refused);
  RawServer cut([](const std::string&) {
    return RawReply{"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n" +
                    std::string(100, 'p')};
  });
  EXPECT_EQ(Fetch({cut.url("/"), "", "", 5s, {}}, NoUiWaiter()).failure, Failure::cut_off);
  RawServer teapot([](const std::string&) {
    return RawReply{"HTTP/1.1 418 No\r\nContent-Length: 2\r\nConnection: close\r\n\r\nno"};
  });
  const Response answered = Fetch({teapot.url("/"), "", "", 5s, {}}, NoUiWaiter());
  EXPECT_TRUE(answered.ok());
  EXPECT_EQ(answered.status, 418);
  EXPECT_EQ(Fetch({"ftp://x/", "", "", 5s, {}}, NoUiWaiter()).failure, Failure::bad_request);
}

}  // namespace
}  // namespace quill::net
