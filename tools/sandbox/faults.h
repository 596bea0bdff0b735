#pragma once
// Error answers the gateway gives in place of its own while a fault option asks
// for them: one forced error for every call, a number of rate-limit and
// "remote service unavailable" answers per keyword before the real answer, or
// the platform's flow control, which lets each key make so many calls a second.

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "form.h"
#include "routes.h"

namespace sandbox {

// A bucket of rate calls per key, refilled at rate a second also during a ban;
// a call that finds it empty bans the key for a second, and every call in a ban
// is refused with the seconds left of it, rounded up.
class KeyRateLimit {
 public:
  using Clock = std::chrono::steady_clock;
  explicit KeyRateLimit(int rate) : rate_(rate) {}
  // nullopt when the call may go through; else the ban's seconds left.
  std::optional<int> refuse(const std::string& key, Clock::time_point now);

 private:
  struct Bucket {
    double tokens;
    Clock::time_point refilled, banned_until;
  };
  double rate_;
  std::mutex mutex_;
  std::map<std::string, Bucket> buckets_;
};

class GatewayFaults {
 public:
  explicit GatewayFaults(const Options& options) : options_(options), rate_limit_(options.rate) {}

  // Counts this call against its keyword (a missing keyword counts as ""), and
  // returns the error document it gets instead of the real answer, or nullopt.
  std::optional<std::string> answer_instead(const Params& params);

 private:
  const Options& options_;
  KeyRateLimit rate_limit_;
  std::mutex mutex_;
  std::map<std::string, int> calls_by_keyword_;
};

// Reads "CODE[:SUB_CODE[:SUB_MSG]]" into the options; false when CODE is no
// number from 0 to 99999 or SUB_CODE is given empty.
bool parse_forced_error(const std::string& text, Options& options);

}  // namespace sandbox
