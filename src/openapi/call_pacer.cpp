#include "openapi/call_pacer.h"

#include <algorithm>
#include <limits>

namespace quill::openapi {
namespace {

// After a refusal the rate drops to kBackOff of the rate refused, climbs back
// by kRecovery a good answer (5% a second) to kNear of it, and from there
// creeps by kCreep (0.25% a second): even a key without any room above its
// limit (one call a second) is then refused only about once a minute.
constexpr double kBackOff = 0.85;
constexpr double kNear = 0.97;
constexpr double kRecovery = 0.05;
constexpr double kCreep = 0.0025;
constexpr auto kMeasured = std::chrono::seconds(1);

}  // namespace

bool IsCallLimit(std::string_view code, std::string_view sub_code, std::string_view msg) {
  return code == "7" || sub_code.starts_with("accesscontrol.limited-by-") || msg == "App Call Limited";
}

std::optional<long long> NamedBanSeconds(std::string_view text) {
  constexpr std::string_view kLead = "This ban will last for ";
  constexpr std::string_view kTail = " more seconds";
  const std::size_t at = text.find(kLead);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = text.substr(at + kLead.size());
  std::size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
  if (digits == 0 || !rest.substr(digits).starts_with(kTail)) return std::nullopt;
  if (digits > 12) return std::numeric_limits<long long>::max();
  long long seconds = 0;
  for (char c : rest.substr(0, digits)) seconds = seconds * 10 + (c - '0');
  return seconds;
}

CallPacer::Clock::time_point CallPacer::next_slot() const {
  if (rate_ <= 0) return banned_until_;
  const auto spacing = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate_));
  return std::max(banned_until_, last_send_ + spacing);
}

bool CallPacer::take_slot(Clock::time_point now) {
  if (now < next_slot()) {
    held_back_ = true;
    return false;
  }
  if (last_send_ == Clock::time_point{}) first_send_ = now;
  last_send_ = now;
  return true;
}

bool CallPacer::answered(Clock::time_point sent, Clock::time_point now,
                         std::optional<std::chrono::milliseconds> hold) {
  while (!good_answers_.empty() && good_answers_.front() <= now - kMeasured) good_answers_.pop_front();
  if (!hold) {
    good_answers_.push_back(now);
    ++good_since_cut_;
    if (cut_once_ && sent <= last_cut_ && burst_share_ > 0)
      count_in_burst();
    else
      speed_up();
    return false;
  }
  banned_until_ = std::max(banned_until_, now + *hold);
  // Asked before the pace last came down: that refusal is already answered.
  if (cut_once_ && sent <= last_cut_) return true;
  const bool slowest = rate_ > 0 && rate_ <= kSlowestRate;
  slow_down(now);
  return !slowest;
}

// The first refusal: the good answers of the last second show at most what the
// key allows, as a key may let a burst through on top of its rate; so the pace
// starts as if the whole stretch so far had been such a burst, and climbs back
// towards what the second showed. Later refusals: the good answers since the
// one before, over the time since (its ban included), are what the key gave at
// the rate refused.
void CallPacer::slow_down(Clock::time_point now) {
  const double shown = static_cast<double>(good_answers_.size());
  bool known = shown > 0;
  double next = 0;
  if (rate_ <= 0) {
    const double stretch = std::min(1.0, std::chrono::duration<double>(now - first_send_).count());
    refused_rate_ = shown;
    burst_share_ = 1 / (1 + stretch);
    // Refused from the start: nothing is known but that every key allows one a second.
    next = known ? shown * burst_share_ : 1.0;
  } else if (rate_ < threshold_) {
    refused_rate_ = known ? std::min(rate_ * kBackOff, shown) : rate_ / 2;
    next = refused_rate_;
  } else {
    const double seconds = std::chrono::duration<double>(now - last_cut_).count();
    const double given = seconds > 0 ? good_since_cut_ / seconds : rate_;
    refused_rate_ = std::clamp(given, rate_ * kBackOff, rate_);
    next = refused_rate_ * kBackOff;
    known = true;
  }
  if (rate_ > 0) burst_share_ = 0;
  rate_ = std::max(kSlowestRate, next);
  // Nothing came back good: the limit is still unknown, so the rate doubles
  // a second until the next refusal.
  threshold_ = known ? rate_ : std::numeric_limits<double>::infinity();
  cut_once_ = true;
  last_cut_ = now;
  good_since_cut_ = 0;
}

// The asks that left with the one that first met the limit answer in any
// order: a good answer among them still counts to what the key let through.
void CallPacer::count_in_burst() {
  refused_rate_ += 1;
  rate_ = std::max(rate_, refused_rate_ * burst_share_);
  threshold_ = rate_;
}

// Only a rate that holds asks back: calls that leave slower for their own
// reasons (few jobs, slow answers) say nothing about a faster one.
void CallPacer::speed_up() {
  if (rate_ <= 0 || !held_back_) return;
  held_back_ = false;
  const double near = kNear * refused_rate_;
  if (rate_ < threshold_)
    rate_ += 1.0;
  else if (rate_ < near)
    rate_ = std::min(near, rate_ + kRecovery);
  else
    rate_ += kCreep;
}

}  // namespace quill::openapi
