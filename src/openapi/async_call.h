#pragma once
// Platform calls that do not block: each call is sent at once and moved on by
// poll(), so a caller on the user-interface thread can keep several in flight,
// wait on the one it needs next and let the others progress. An answer that
// asks to be repeated (a rate limit, a busy remote service) is asked again
// after a pause on the waiter's clock.

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>

#include "base/text.h"
#include "base/wait.h"
#include "net/http.h"
#include "openapi/api_call.h"
#include "openapi/call_pacer.h"

namespace quill::openapi {

struct RetryPolicy {
  int retries = 3;                             // asks after the first; 0 never asks again
  std::chrono::milliseconds first_pause{100};  // doubles for every further retry
  std::chrono::seconds longest_ban{60};        // a named ban beyond this ends the call at once
};

// The pause before retry number `retry` (0 for the first) of a call whose last
// ask came to outcome; nullopt when it is not asked again: a good answer, a
// transport failure, a lasting error, a ban beyond policy.longest_ban, or the
// retries are spent.
std::optional<std::chrono::milliseconds> RetryPause(const ApiOutcome& outcome, int retry,
                                                    const RetryPolicy& policy);

struct ApiRequest {
  Text gateway;  // "http://host/router/rest?"
  Text app_key;
  Text app_secret;
  Text method;
  ParamList business;  // sent as they are, whatever characters the values hold
  Text session;        // "" for none
  Text format;         // "" means "xml"
};

struct ApiResult {
  Text answer;  // as ReadAnswer gives it
  ApiOutcome outcome;
};

// One platform call with its retries. Every ask is freshly signed (new timestamp).
class ApiCall {
 public:
  // Sends the first ask at once, or as soon as the pacer, when given, lets it
  // go; without key or secret nothing is sent and the call is over at once
  // (Failure::bad_request). A call-limit answer the pacer takes for the run's
  // own speed costs none of the retries. The pacer must outlive the call.
  ApiCall(ApiRequest request, const net::Channel& channel, RetryPolicy retry = {}, CallPacer* pacer = nullptr);
  // Destroying an unfinished call abandons its transfer without blocking.
  ~ApiCall();
  ApiCall(ApiCall&&) noexcept;
  ApiCall& operator=(ApiCall&&) noexcept;

  // Moves the call on without blocking; true once it is over. events_handled
  // says the caller has just handled user-interface events, which restarts the
  // wait of an ask in flight (never beyond kCeilingFactor wait times). A stop
  // request ends the call (Failure::stopped).
  bool poll(bool events_handled = false);
  // Spends up to slice without pumping: on the answer in flight, or resting on
  // the waiter's clock during a pause or the wait for the pacer. Returns at once when the call is over,
  // and early when input comes for a waiter that pumps the message queue.
  void idle(std::chrono::milliseconds slice);
  // Polls, idles and pumps the channel's waiter until the call is over.
  void await();

  bool done() const { return state_ == State::done; }
  // An ask is on the network (not pausing or waiting for the pacer, not over).
  bool sending() const { return state_ == State::sending; }
  // The last ask's answer, as ReadAnswer gives it: "" when it brought none.
  const Text& answer() const { return answer_; }
  // The last ask's outcome; a call whose retries are spent keeps its last error.
  const ApiOutcome& outcome() const { return outcome_; }
  int asks() const { return asks_; }
  // The format sent: "xml" when the request gave none and anything was sent.
  const Text& format() const { return request_.format; }
  // Moves answer and outcome out of a finished call, leaving empty ones.
  ApiResult take();

 private:
  enum class State { sending, pausing, done };
  void ask();
  void send();
  void read_answer();
  // Whether this answer's retry is free.
  bool tell_pacer(Waiter::Clock::time_point now);
  void end(net::Failure failure);

  ApiRequest request_;
  net::Channel channel_;
  RetryPolicy retry_;
  CallPacer* pacer_;
  std::optional<net::Transfer> transfer_;
  State state_ = State::done;
  Waiter::Clock::time_point sent_at_, deadline_, ceiling_, resume_at_;
  int asks_ = 0;
  int free_retries_ = 0;  // asks after call-limit answers of the run's own speed
  Text answer_;
  ApiOutcome outcome_;
};

// Calls in the order they are added, at most `jobs` of them sent and not yet
// taken, so that the answers ahead of the one in use are already on their way.
// They share one pacer: the queue's calls are one run's, made with one key.
class ApiCallQueue {
 public:
  // jobs below 1 count as 1.
  ApiCallQueue(const net::Channel& channel, RetryPolicy retry, int jobs);
  ApiCallQueue(const ApiCallQueue&) = delete;  // its calls hold its pacer
  ApiCallQueue& operator=(const ApiCallQueue&) = delete;
  // Queues a call and returns its number (0, 1, ...); it is sent once fewer
  // than jobs calls are out and not taken.
  std::size_t add(ApiRequest request);
  // Waits for call number index while the channel's waiter pumps and the other
  // calls out move on; hands its result over once. A number never added or
  // already taken gives Failure::bad_request.
  ApiResult take(std::size_t index);
  // How many calls were ever added.
  std::size_t size() const { return first_ + slots_.size(); }

 private:
  struct Slot {
    ApiRequest request;
    std::optional<ApiCall> call;
    bool taken = false;
  };
  void start_more();
  void poll_all(bool events_handled);
  // Spends up to a slice: on the network while any answer is still to come,
  // else in the awaited call's pause.
  void idle_for(ApiCall& awaited);

  net::Channel channel_;
  RetryPolicy retry_;
  int jobs_;
  CallPacer pacer_;
  std::deque<Slot> slots_;  // from call number first_ on
  std::size_t first_ = 0;
  std::size_t next_to_send_ = 0;
  int out_ = 0;  // sent and not yet taken
};

}  // namespace quill::openapi
