#include "openapi/async_call.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include "base/codepage.h"
#include "openapi/await_call.h"
#include "support/loopback_server.h"
#include "support/sandbox_process.h"

namespace quill::openapi {
namespace {

using namespace std::chrono_literals;
using testing::read_file;
using testing::SandboxProcess;
using testing::ScratchFolder;
using testing::write_file;

constexpr const char* kKey = "31415926";
constexpr const char* kSecret = "5f0c2a9e7b13d4866e1fa0b2c9d34e57";
constexpr const char* kMethod = "taobao.taobaoke.items.get";

ParamList query(const Text& keyword) {
  return {{"keyword", keyword},
          {"pid", "mm_1_2_3"},
          {"fields", "num_iid,title,click_url"},
          {"page_no", "1"},
          {"page_size", "3"}};
}

// Time passes only when the code under test rests (and, when asked, when it
// pumps), so pauses of seconds take none.
class TestClock final : public Waiter {
 public:
  explicit TestClock(std::chrono::milliseconds pump_step = 0ms) : pump_step_(pump_step) {}
  bool pump() override {
    now_ += pump_step_;
    return false;
  }
  bool stop_requested() const override { return stop_after_rests >= 0 && rests >= stop_after_rests; }
  Clock::time_point now() const override { return now_; }
  void rest(std::chrono::milliseconds slice) override {
    ++rests;
    now_ += slice;
  }
  std::chrono::milliseconds elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - Clock::time_point{});
  }
  int rests = 0;
  int stop_after_rests = -1;

 private:
  std::chrono::milliseconds pump_step_;
  Clock::time_point now_{};
};

ApiOutcome error(const char* code, const char* sub_code = "", const char* sub_msg = "") {
  ApiOutcome outcome;
  outcome.error_answer = true;
  outcome.code = code;
  outcome.sub_code = sub_code;
  outcome.sub_msg = sub_msg;
  return outcome;
}

TEST(RetryPause, OnlyNotNowAnswersAreAskedAgainWithDoublingPauses) {
  const RetryPolicy policy;
  ApiOutcome limited_by_msg = error("15");
  limited_by_msg.msg = "App Call Limited";
  for (const ApiOutcome& busy : {error("7"), error("15", "accesscontrol.limited-by-api-access-count"),
                                 limited_by_msg, error("15", "isp.remote-service-unavailable"),
                                 error("15", "isp.xx-timeout"), error("15", "isp.remote-connection-error")}) {
    EXPECT_EQ(RetryPause(busy, 0, policy), 100ms) << busy.sub_code;
    EXPECT_EQ(RetryPause(busy, 2, policy), 400ms) << busy.sub_code;
    EXPECT_EQ(RetryPause(busy, 3, policy), std::nullopt) << busy.sub_code;
  }
  for (const ApiOutcome& lasting : {error("25"), error("15", "isp.invalid-parameter"),
                                    error("15", "accesscontrol"), error("70"), ApiOutcome{}}) {
    EXPECT_EQ(RetryPause(lasting, 0, policy), std::nullopt) << lasting.code << lasting.sub_code;
  }
  ApiOutcome cut = error("7");
  cut.transport = net::Failure::cut_off;
  EXPECT_EQ(RetryPause(cut, 0, policy), std::nullopt);
  EXPECT_EQ(RetryPause(error("7"), 0, {.retries = 0}), std::nullopt);
  EXPECT_EQ(RetryPause(error("7"), 29, {.retries = 1000}), 100ms * (1LL << 29));
}

TEST(RetryPause, ANamedBanIsSatOutUpToTheLongestAllowed) {
  const RetryPolicy policy;
  auto ban = [](const char* text) { return error("7", "accesscontrol.limited-by-app-access-count", text); };
  EXPECT_EQ(RetryPause(ban("This ban will last for 5 more seconds"), 2, policy), 5s);
  EXPECT_EQ(RetryPause(ban("This ban will last for 60 more seconds"), 0, policy), 60s);
  EXPECT_EQ(RetryPause(ban("This ban will last for 61 more seconds"), 0, policy), std::nullopt);
  EXPECT_EQ(RetryPause(ban("This ban will last for 99999999999999999999 more seconds"), 0, policy),
            std::nullopt);
  // Anything but the exact sentence is no ban: the usual pause applies.
  EXPECT_EQ(RetryPause(ban("This ban will last for x more seconds"), 0, policy), 100ms);
  EXPECT_EQ(RetryPause(ban("This ban will last for 5 seconds"), 0, policy), 100ms);
  EXPECT_EQ(RetryPause(error("25", "", "This ban will last for 5 more seconds"), 0, policy), std::nullopt);
}

struct Asked {
  ApiOutcome outcome;
  Text answer;
  std::size_t requests = 0;
  std::chrono::milliseconds waited{};
};

// One blocking call against a sandbox started with options, on a test clock.
Asked ask(std::vector<std::string> options, RetryPolicy retry = {}, int stop_after_rests = -1) {
  SandboxProcess sandbox(std::move(options));
  EXPECT_TRUE(sandbox.running());
  TestClock clock;
  clock.stop_after_rests = stop_after_rests;
  Asked asked;
  asked.answer = testing::AwaitCall({sandbox.gateway(), kKey, kSecret, kMethod, query("abc"), "", ""},
                                    {&clock, 30s, ""}, &asked.outcome, retry);
  asked.requests = sandbox.log_lines().size();
  asked.waited = clock.elapsed();
  return asked;
}

TEST(ApiCallRetries, RateLimitIsSatOutForTheNamedBan) {
  QUILL_SKIP_WITHOUT_SANDBOX();
  const Asked asked = ask({"--rate-limit", "2", "--ban-seconds", "4"});
  EXPECT_FALSE(asked.outcome.failed()) << asked.outcome.reason();
  EXPECT_NE(asked.answer.find("<click_url>"), Text::npos);
  EXPECT_EQ(asked.requests, 3u);
  EXPECT_EQ(asked.waited, 8s);
}

TEST(ApiCallRetries, BusyRemoteServiceIsAskedAgainWithDoublingPauses) {
  QUILL_SKIP_WITHOUT_SANDBOX();
  const Asked asked = ask({"--isp-unavailable", "3"});
  EXPECT_FALSE(asked.outcome.failed());
  EXPECT_EQ(asked.requests, 4u);
  EXPECT_EQ(asked.waited, 700ms);

  const Asked spent = ask({"--isp-unavailable", "3"}, {.retries = 2});
  EXPECT_TRUE(spent.outcome.failed());
  EXPECT_EQ(spent.outcome.code, "15");
  EXPECT_EQ(spent.outcome.sub_code, "isp.remote-service-unavailable");
  EXPECT_EQ(spent.answer.find("<click_url>"), Text::npos);
  EXPECT_EQ(spent.requests, 3u);
}

TEST(ApiCallRetries, LongBanAndLastingErrorsAreAskedOnce) {
  QUILL_SKIP_WITHOUT_SANDBOX();
  const Asked banned = ask({"--rate-limit", "1", "--ban-seconds", "61"});
  EXPECT_EQ(banned.outcome.code, "7");
  EXPECT_EQ(banned.requests, 1u);
  EXPECT_EQ(banned.waited, 0ms);
  for (const char* lasting : {"25", "15:isp.invalid-parameter", "11:accesscontrol"}) {
    const Asked asked = ask({"--error", lasting});
    EXPECT_TRUE(asked.outcome.error_answer) << lasting;
    EXPECT_EQ(asked.requests, 1u) << lasting;
  }
  // Code 7 alone is enough to ask again, until the retries are spent.
  const Asked limited = ask({"--error", "7"});
  EXPECT_EQ(limited.outcome.code, "7");
  EXPECT_EQ(limited.requests, 4u);
  EXPECT_EQ(limited.waited, 700ms);
}

TEST(ApiCallRetries, StopRequestEndsAPause) {
  QUILL_SKIP_WITHOUT_SANDBOX();
  const Asked asked = ask({"--rate-limit", "5", "--ban-seconds", "30"}, {}, 1);
  EXPECT_EQ(asked.outcome.transport, net::Failure::stopped);
  EXPECT_EQ(asked.requests, 1u);
  EXPECT_LE(asked.waited, 15ms);
}

ApiRequest request_for(const SandboxProcess& sandbox, const Text& keyword) {
  return {sandbox.gateway(), kKey, kSecret, kMethod, query(keyword), "", ""};
}

// Each keyword is banned once for a second: with every call out at once the
// bans run side by side (one after another they would take five seconds) and
// the pacer spaces the asks after them; the answers match those of calls made
// one by one.
TEST(ApiCallQueue, CallsAlongsideTheAwaitedOneMoveOn) {
  QUILL_SKIP_WITHOUT_SANDBOX();
  SandboxProcess sandbox({"--rate-limit", "1", "--ban-seconds", "1"});
  ASSERT_TRUE(sandbox.running());
  const std::vector<Text> keywords = {"a", "b", gbk("连衣裙"), "d", "e"};
  TestClock clock;
  ApiCallQueue queue({&clock, 30s, ""}, {}, 5);
  for (const Text& keyword : keywords) queue.add(request_for(sandbox, keyword));
  std::vector<ApiResult> results;
  for (std::size_t i = 0; i < keywords.size(); ++i) results.push_back(queue.take(i));
  EXPECT_LT(clock.elapsed(), 4s);
  EXPECT_EQ(sandbox.log_lines().size(), 2 * keywords.size());
  EXPECT_EQ(queue.take(0).outcome.transport, net::Failure::bad_request);
  EXPECT_EQ(queue.take(99).outcome.transport, net::Failure::bad_request);

  for (std::size_t i = 0; i < keywords.size(); ++i) {
    EXPECT_FALSE(results[i].outcome.failed()) << i;
    EXPECT_EQ(results[i].answer, testing::AwaitCall(request_for(sandbox, keywords[i]), {&clock, 30s, ""}))
        << i;
  }
}

// A key the gateway lets make 10 calls a second, 40 calls at 16 jobs, on the
// real clock the gateway's limit runs on (about four seconds): every call gets
// its items, and past the first refused ask and the 15 that may have left
// before its answer came, at most one ask in ten is refused.
TEST(ApiCallQueue, SixteenJobsPaceThemselvesToTheKeysRate) {
  QUILL_SKIP_WITHOUT_SANDBOX();
  SandboxProcess sandbox({"--rate", "10"});
  ASSERT_TRUE(sandbox.running());
  constexpr std::size_t kCalls = 40, kJobs = 16;
  ApiCallQueue queue({&NoUiWaiter(), 30s, ""}, {}, kJobs);
  for (std::size_t i = 0; i < kCalls; ++i) queue.add(request_for(sandbox, "k" + std::to_string(i)));
  for (std::size_t i = 0; i < kCalls; ++i) {
    const ApiResult result = queue.take(i);
    EXPECT_FALSE(result.outcome.failed()) << i << ": " << result.outcome.reason();
    EXPECT_NE(result.answer.find("<click_url>"), Text::npos) << i;
  }
  const std::vector<std::string> asks = sandbox.log_lines();
  std::map<std::string, std::size_t> last_ask;
  auto keyword = [](const std::string& line) {
    const std::size_t at = line.find("\"keyword\":\"") + 11;
    return line.substr(at, line.find('"', at) - at);
  };
  for (std::size_t i = 0; i < asks.size(); ++i) last_ask[keyword(asks[i])] = i;
  std::size_t refused = 0, refused_later = 0, revealing_end = 0;
  for (std::size_t i = 0; i < asks.size(); ++i) {
    if (last_ask[keyword(asks[i])] == i) continue;
    if (refused++ == 0) revealing_end = i + kJobs;
    refused_later += i >= revealing_end;
  }
  EXPECT_EQ(last_ask.size(), kCalls);
  EXPECT_GT(refused, 0u) << "the burst of 16 asks met no limit";
  EXPECT_LE(refused_later, asks.size() / 10) << refused << " refused in " << asks.size() << " asks";
}

// A gateway that takes every call and never answers, telling the test the
// keywords in the order the calls arrive.
class SilentGateway {
 public:
  SilentGateway()
      : server_([this](testing::LoopbackConnection& connection) {
          const std::string body = testing::RawRequest::parse(connection.request()).body;
          const std::size_t at = body.find("keyword=");
          {
            std::lock_guard lock(mutex_);
            keywords_.push_back(at == std::string::npos ? ""
                                                        : body.substr(at + 8, body.find('&', at) - at - 8));
          }
          arrived_.notify_all();
          connection.hang();
        }) {}
  std::string gateway() const { return server_.url("/router/rest?"); }
  // The keywords of the first count calls, once they have arrived.
  std::vector<std::string> first(std::size_t count) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, 10s, [&] { return keywords_.size() >= count; });
    return std::vector<std::string>(keywords_.begin(), keywords_.begin() + std::min(count, keywords_.size()));
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<std::string> keywords_;
  testing::LoopbackServer server_;  // last: stopped first
};

// Two jobs: two calls out, the next sent as one is taken, and a call taken out
// of turn sent at once; the call nobody took yet is sent last of all.
TEST(ApiCallQueue, KeepsAtMostJobsCallsOutAndTakesOutOfTurn) {
  SilentGateway silent;
  TestClock clock(1s);
  ApiCallQueue queue({&clock, 5s, ""}, {}, 2);
  for (const char* keyword : {"a", "b", "c", "d", "e"})
    queue.add({silent.gateway(), kKey, kSecret, kMethod, query(keyword), "", ""});
  EXPECT_EQ(queue.take(0).outcome.transport, net::Failure::timed_out);
  EXPECT_EQ(silent.first(3)[2], "c");
  EXPECT_EQ(queue.take(4).outcome.transport, net::Failure::timed_out);
  EXPECT_EQ(silent.first(4)[3], "e");
  EXPECT_EQ(queue.take(3).outcome.transport, net::Failure::timed_out);
  const std::vector<std::string> order = silent.first(5);
  ASSERT_EQ(order.size(), 5u);
  EXPECT_EQ(std::set<std::string>(order.begin(), order.begin() + 2), (std::set<std::string>{"a", "b"}));
  EXPECT_EQ(order[4], "d");
}

TEST(ApiCallQueue, KeyMissingEndsAtOnceAndSendsNothing) {
  QUILL_SKIP_WITHOUT_SANDBOX();
  SandboxProcess sandbox;
  ASSERT_TRUE(sandbox.running());
  ApiCall call({sandbox.gateway(), "", kSecret, kMethod, query("a"), "", ""}, {});
  EXPECT_TRUE(call.done());
  EXPECT_EQ(call.outcome().transport, net::Failure::bad_request);
  EXPECT_EQ(call.asks(), 0);
  EXPECT_EQ(call.format(), "");
  EXPECT_TRUE(sandbox.log_lines().empty());
}

// The answer comes only over a connection that carries a certificate of the
// file: not the system's roots, not another server's certificate, not a file
// without certificates. By name: Wine checks a certificate's names only, not
// its address entry.
TEST(ApiCallTls, HttpsGatewayAnswersOnlyWhenItsCertificateIsInTheFile) {
  QUILL_SKIP_WITHOUT_SANDBOX();
  ScratchFolder folder;
  const std::string cert = (folder / "sandbox.pem").string();
  SandboxProcess sandbox({"--tls", "--cert-file", cert});
  SandboxProcess other({"--tls"});
  ASSERT_TRUE(sandbox.running());
  ASSERT_TRUE(other.running());
  write_file(folder / "junk.pem",
             "-----BEGIN CERTIFICATE-----\nbm90IGEgY2VydA==\n-----END CERTIFICATE-----\n");
  write_file(folder / "both.pem", read_file(other.certificate_path()) + read_file(cert));
  const Text gateway = "https://localhost:" + std::to_string(sandbox.port()) + "/router/rest?";
  const ApiRequest request{gateway, kKey, kSecret, kMethod, query("abc"), "", ""};
  ApiOutcome outcome;
  for (const Text& ca_file : {Text(cert), folder.gbk_path("both.pem")}) {
    const Text answer = testing::AwaitCall(request, {&NoUiWaiter(), 30s, ca_file}, &outcome);
    EXPECT_FALSE(outcome.failed()) << ca_file << ": " << outcome.reason();
    EXPECT_NE(answer.find("<click_url>"), Text::npos) << ca_file;
  }
  const Text others = folder.gbk_path("other.pem");
  write_file(folder / "other.pem", read_file(other.certificate_path()));
  for (const Text& ca_file : {Text(), others, folder.gbk_path("missing.pem"), folder.gbk_path("junk.pem")}) {
    EXPECT_EQ(testing::AwaitCall(request, {&NoUiWaiter(), 30s, ca_file}, &outcome), "");
    EXPECT_EQ(outcome.transport, net::Failure::tls) << ca_file;
  }
  EXPECT_EQ(sandbox.log_lines().size(), 2u);
}

}  // namespace
}  // namespace quill::openapi
