#include "openapi/async_call.h"

#include <algorithm>
#include <utility>

namespace quill::openapi {
namespace {

using std::chrono::milliseconds;

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

bool is_call_limit(const ApiOutcome& outcome) {
  return outcome.error_answer && outcome.transport == net::Failure::none &&
         IsCallLimit(outcome.code, outcome.sub_code, outcome.msg);
}

// The platform's answers that say "not now" rather than "not so". A call-limit
// answer is one whatever the pacer makes of it: the two must agree, or a retry
// the pacer gave for free would never be asked.
bool asks_to_retry(const ApiOutcome& outcome) {
  if (!outcome.error_answer || outcome.transport != net::Failure::none) return false;
  const std::string_view sub = outcome.sub_code;
  if (is_call_limit(outcome) || sub.starts_with("accesscontrol.")) return true;
  return sub.starts_with("isp.") &&
         (contains(sub, "unavailable") || contains(sub, "timeout") || contains(sub, "remote"));
}

// The ban a platform error names, in its sub_msg or its msg.
std::optional<long long> named_ban_seconds(const ApiOutcome& outcome) {
  if (const auto ban = NamedBanSeconds(outcome.sub_msg)) return ban;
  return NamedBanSeconds(outcome.msg);
}

// How long a call-limit answer holds every call of the run: the ban it names,
// else the first pause; nullopt for a ban too long to sit out.
std::optional<milliseconds> limit_hold(const ApiOutcome& outcome, const RetryPolicy& policy) {
  const auto ban = named_ban_seconds(outcome);
  if (!ban) return policy.first_pause;
  if (*ban > policy.longest_ban.count()) return std::nullopt;
  return std::chrono::seconds(*ban);
}

}  // namespace

std::optional<milliseconds> RetryPause(const ApiOutcome& outcome, int retry, const RetryPolicy& policy) {
  if (retry < 0 || retry >= policy.retries || !asks_to_retry(outcome)) return std::nullopt;
  if (const auto ban = named_ban_seconds(outcome)) {
    if (*ban > policy.longest_ban.count()) return std::nullopt;
    return std::chrono::seconds(*ban);
  }
  // Doubling stops growing long before it could overflow.
  return policy.first_pause * (1LL << std::min(retry, 30));
}

ApiCall::ApiCall(ApiRequest request, const net::Channel& channel, RetryPolicy retry, CallPacer* pacer)
    : request_(std::move(request)), channel_(channel), retry_(retry), pacer_(pacer) {
  if (!channel_.waiter) channel_.waiter = &NoUiWaiter();
  // Nothing could be sent: no reason to wait for a slot first.
  if (request_.app_key.empty() || request_.app_secret.empty())
    end(net::Failure::bad_request);
  else
    ask();
}

ApiCall::~ApiCall() = default;
ApiCall::ApiCall(ApiCall&&) noexcept = default;
ApiCall& ApiCall::operator=(ApiCall&&) noexcept = default;

void ApiCall::ask() {
  if (pacer_ && !pacer_->take_slot(channel_.waiter->now())) {
    state_ = State::pausing;
    resume_at_ = pacer_->next_slot();
    return;
  }
  send();
}

void ApiCall::send() {
  SignedForm form = BuildSignedForm(request_.app_key, request_.app_secret, request_.method, request_.business,
                                    request_.session, request_.format, PlatformTimeNow());
  if (form.body.empty()) return end(net::Failure::bad_request);
  ++asks_;
  state_ = State::sending;
  const auto now = channel_.waiter->now();
  sent_at_ = now;
  deadline_ = now + channel_.wait;
  ceiling_ = now + channel_.wait * net::kCeilingFactor;
  transfer_.emplace(channel_.request(request_.gateway, "POST", form.body));
}

void ApiCall::end(net::Failure failure) {
  transfer_.reset();
  outcome_.transport = failure;
  state_ = State::done;
}

void ApiCall::read_answer() {
  const net::Response response = transfer_->take();
  transfer_.reset();
  outcome_ = ReadAnswer(response, request_.method, request_.format, answer_);
  const auto now = channel_.waiter->now();
  const bool free_retry = tell_pacer(now);
  if (free_retry) ++free_retries_;
  const auto pause = RetryPause(outcome_, free_retry ? 0 : asks_ - 1 - free_retries_, retry_);
  if (!pause) {
    state_ = State::done;
    return;
  }
  state_ = State::pausing;
  resume_at_ = now + *pause;
}

// Only answers that came tell the pacer anything, and a ban too long to sit
// out ends the call instead.
bool ApiCall::tell_pacer(Waiter::Clock::time_point now) {
  if (!pacer_ || outcome_.transport != net::Failure::none) return false;
  if (!is_call_limit(outcome_)) return pacer_->answered(sent_at_, now, std::nullopt);
  const auto hold = limit_hold(outcome_, retry_);
  return hold && pacer_->answered(sent_at_, now, hold);
}

ApiResult ApiCall::take() {
  ApiResult result{std::move(answer_), std::move(outcome_)};
  answer_.clear();
  outcome_ = {};
  return result;
}

bool ApiCall::poll(bool events_handled) {
  if (state_ == State::done) return true;
  if (channel_.waiter->stop_requested()) {
    end(net::Failure::stopped);
    return true;
  }
  const auto now = channel_.waiter->now();
  if (state_ == State::pausing) {
    if (now >= resume_at_) ask();
    return done();
  }
  if (transfer_->wait_for(milliseconds(0))) {
    read_answer();
    return done();
  }
  if (events_handled) deadline_ = now + channel_.wait;
  if (now >= std::min(deadline_, ceiling_)) end(net::Failure::timed_out);
  return done();
}

void ApiCall::idle(milliseconds slice) {
  if (state_ == State::sending) {
    transfer_->wait_for(slice, *channel_.waiter);
  } else if (state_ == State::pausing) {
    const auto left = std::chrono::ceil<milliseconds>(resume_at_ - channel_.waiter->now());
    if (left.count() > 0) channel_.waiter->rest(std::min(slice, left));
  }
}

void ApiCall::await() {
  bool pumped = false;
  while (!poll(pumped)) {
    idle(channel_.waiter->slice());
    pumped = channel_.waiter->pump();
  }
}

ApiCallQueue::ApiCallQueue(const net::Channel& channel, RetryPolicy retry, int jobs)
    : channel_(channel), retry_(retry), jobs_(std::max(jobs, 1)) {
  if (!channel_.waiter) channel_.waiter = &NoUiWaiter();
}

std::size_t ApiCallQueue::add(ApiRequest request) {
  slots_.push_back({std::move(request), std::nullopt, false});
  start_more();
  return size() - 1;
}

void ApiCallQueue::start_more() {
  while (out_ < jobs_ && next_to_send_ < size()) {
    Slot& slot = slots_[next_to_send_++ - first_];
    if (slot.call || slot.taken) continue;
    slot.call.emplace(std::move(slot.request), channel_, retry_, &pacer_);
    ++out_;
  }
}

void ApiCallQueue::poll_all(bool events_handled) {
  for (Slot& slot : slots_)
    if (slot.call) slot.call->poll(events_handled);
}

// A pause is counted on the waiter's clock only while no answer is on its way,
// so the calls alongside the awaited one start their own pauses as their answers
// come, not after the awaited one's pause has run.
void ApiCallQueue::idle_for(ApiCall& awaited) {
  ApiCall* on_the_network = awaited.sending() ? &awaited : nullptr;
  for (Slot& slot : slots_)
    if (!on_the_network && slot.call && slot.call->sending()) on_the_network = &*slot.call;
  (on_the_network ? *on_the_network : awaited).idle(channel_.waiter->slice());
}

ApiResult ApiCallQueue::take(std::size_t index) {
  ApiResult result;
  if (index < first_ || index >= size() || slots_[index - first_].taken) {
    result.outcome.transport = net::Failure::bad_request;
    return result;
  }
  Slot& slot = slots_[index - first_];
  // Taken out of turn: the caller needs it now, whatever the window says.
  if (!slot.call) {
    slot.call.emplace(std::move(slot.request), channel_, retry_, &pacer_);
    ++out_;
  }
  bool pumped = false;
  for (;;) {
    poll_all(pumped);
    if (slot.call->done()) break;
    idle_for(*slot.call);
    pumped = channel_.waiter->pump();
  }
  result = slot.call->take();
  slot.call.reset();
  slot.taken = true;
  --out_;
  // Calls taken in turn leave the queue, so a long run keeps only the few ahead.
  while (!slots_.empty() && slots_.front().taken) {
    slots_.pop_front();
    ++first_;
  }
  next_to_send_ = std::max(next_to_send_, first_);
  start_more();
  return result;
}

}  // namespace quill::openapi
