#include "openapi/call_pacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace quill::openapi {
namespace {

using namespace std::chrono_literals;
using Clock = CallPacer::Clock;
using std::chrono::milliseconds;

// A key the platform lets make rate calls a second: a bucket of rate calls,
// refilled at rate a second also while it is banned; a call that finds it
// empty starts a one-second ban, and every call in a ban is refused with the
// seconds left of it, rounded up.
class LimitedKey {
 public:
  explicit LimitedKey(double rate) : rate_(rate), tokens_(rate) {}
  // nullopt: the call goes through; else the ban the refusal names.
  std::optional<milliseconds> call(Clock::time_point now) {
    tokens_ = std::min(rate_, tokens_ + rate_ * std::chrono::duration<double>(now - refilled_).count());
    refilled_ = now;
    if (now >= banned_until_ && tokens_ >= 1) {
      tokens_ -= 1;
      return std::nullopt;
    }
    if (now >= banned_until_) banned_until_ = now + 1s;
    return std::chrono::ceil<std::chrono::seconds>(banned_until_ - now);
  }

 private:
  double rate_, tokens_;
  Clock::time_point refilled_{}, banned_until_{};
};

double seconds(Clock::time_point t) { return std::chrono::duration<double>(t - Clock::time_point{}).count(); }

struct Outcome {
  int failed = 0;
  int asks = 0;
  int refusals = 0;
  int revealing = 0;  // refusals of asks sent before the first refusal came
  double seconds = 0;
};

// calls calls, at most jobs of them out, answered about latency after they
// leave, with the default three retries, on a virtual clock.
Outcome PacedRun(double rate, int jobs, milliseconds latency, int calls) {
  struct Call {
    Clock::time_point ready, sent, answer_at;
    bool out = false, flying = false, done = false;
    std::optional<milliseconds> refused;
    int forgiven = 0, asks = 0;
  };
  LimitedKey key(rate);
  CallPacer pacer;
  std::vector<Call> all(static_cast<std::size_t>(calls));
  Outcome outcome;
  Clock::time_point now{}, first_refusal = Clock::time_point::max();
  int out = 0, finished = 0;
  while (finished < calls) {
    for (Call& call : all) {
      if (!call.done && !call.out && out < jobs) call.out = true, ++out, call.ready = now;
      if (call.out && call.flying && call.answer_at <= now) {
        call.flying = false;
        if (call.refused) {
          ++outcome.refusals;
          if (call.sent < first_refusal) ++outcome.revealing;
          first_refusal = std::min(first_refusal, now);
        }
        if (pacer.answered(call.sent, now, call.refused)) ++call.forgiven;
        if (!call.refused || call.asks - 1 - call.forgiven >= 3) {
          call.done = true, call.out = false, --out, ++finished, outcome.seconds = seconds(now);
          if (call.refused) ++outcome.failed;
        } else {
          call.ready = now + *call.refused;
        }
      }
      if (call.out && !call.flying && call.ready <= now && pacer.take_slot(now)) {
        // Answers take from 0.75 to 1.25 times the latency, in an order of their own.
        const auto took = latency * (75 + (outcome.asks * 37) % 51) / 100;
        call.flying = true, call.sent = now, call.answer_at = now + took, ++call.asks, ++outcome.asks;
        call.refused = key.call(now + took / 2);
      }
    }
    auto next = Clock::time_point::max();
    for (const Call& call : all) {
      if (call.flying) next = std::min(next, call.answer_at);
      if (call.out && !call.flying) next = std::min(next, std::max({call.ready, pacer.next_slot(), now + 1ms}));
    }
    now = next;
  }
  return outcome;
}

// The run's own speed never fails a call, draws few refusals once the limit is
// known, and finishes close to what the key and the jobs allow.
TEST(CallPacer, PacesAnyJobsToAnyKeyLimit) {
  constexpr int kCalls = 120;
  for (double rate : {1.0, 2.0, 3.0, 5.0, 7.0, 13.0, 20.0, 33.0, 50.0, 75.0, 100.0})
    for (int jobs : {1, 2, 4, 8, 12, 16})
      for (milliseconds latency : {20ms, 50ms, 150ms, 400ms}) {
        const Outcome o = PacedRun(rate, jobs, latency, kCalls);
        const double bound =
            1.2 * std::max(kCalls / rate, kCalls * std::chrono::duration<double>(latency).count() / jobs) + 1;
        SCOPED_TRACE(testing::Message() << "rate " << rate << ", jobs " << jobs << ", " << latency.count()
                                        << " ms: " << o.seconds << " s of " << bound << ", "
                                        << o.refusals << " refusals (" << o.revealing << " revealing) in "
                                        << o.asks << " asks");
        EXPECT_EQ(o.failed, 0);
        EXPECT_LE(o.refusals - o.revealing, o.asks / 10);
        EXPECT_LE(o.seconds, bound);
      }
}

}  // namespace
}  // namespace quill::openapi
