#pragma once
// How fast one run's calls leave for the platform. A key may make only so many
// calls a second; a call over it is refused at once with the call-limit answer
// and a ban. The pacer takes that answer as a sign of its own speed, the way
// TCP takes a lost segment: it holds every call for the ban, spaces the calls
// at the rate the good answers of the last second showed, and raises that rate
// slowly while answers come back good.

#include <chrono>
#include <deque>
#include <optional>
#include <string_view>

#include "base/wait.h"

namespace quill::openapi {

// Whether an error document's fields, whatever form the document came in, say
// that the key made too many calls.
bool IsCallLimit(std::string_view code, std::string_view sub_code, std::string_view msg);
// The S of "This ban will last for S more seconds"; nullopt when the text names
// no ban. A number too long to read is a ban too long to sit out.
std::optional<long long> NamedBanSeconds(std::string_view text);

class CallPacer {
 public:
  using Clock = Waiter::Clock;

  // Whether an ask may leave at now; when it may, it is counted as sent.
  bool take_slot(Clock::time_point now);
  // The earliest time the next ask may leave.
  Clock::time_point next_slot() const;
  // The answer to an ask sent at sent came at now; hold is the pause a
  // call-limit answer asks for, nullopt for any other answer. True when a
  // call-limit answer is taken for the run's own speed, which costs the call
  // none of its retries: only the slowest pace makes the limit the platform's.
  bool answered(Clock::time_point sent, Clock::time_point now, std::optional<std::chrono::milliseconds> hold);
  // Calls a second; 0 until the first call-limit answer.
  double rate() const { return rate_; }

  static constexpr double kSlowestRate = 0.25;

 private:
  void slow_down(Clock::time_point now);
  void speed_up();
  void count_in_burst();

  double rate_ = 0;
  double threshold_ = 0;     // below it the rate doubles a second: no rate is known to hold
  double refused_rate_ = 0;  // the rate of the last refusal, or the last second's when probing
  bool cut_once_ = false;
  int good_since_cut_ = 0;
  double burst_share_ = 0;  // of the first refusal's second, what the key's rate was; 0 after
  bool held_back_ = false;  // an ask waited for its slot since the last good answer
  Clock::time_point first_send_{}, last_send_{}, last_cut_{}, banned_until_{};
  std::deque<Clock::time_point> good_answers_;  // of the last second
};

}  // namespace quill::openapi
