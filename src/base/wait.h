#pragma once
// What a long operation needs from whoever started it: a way to keep the user
// interface alive while it waits, a way to learn that it should give up, and the
// clock its time limits run on (tests bring their own).

#include <chrono>

namespace quill {

class Waiter {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~Waiter() = default;
  // Dispatches pending user-interface events; true when any was handled.
  virtual bool pump() = 0;
  // True once the work should end at its next chance (the window is going away,
  // the process got a signal).
  virtual bool stop_requested() const = 0;
  virtual Clock::time_point now() const { return Clock::now(); }
  // Lets up to slice pass when there was nothing to pump: a real sleep; tests
  // move their own clock instead.
  virtual void rest(std::chrono::milliseconds slice);
};

// Pumps and rests until the waiter's clock reaches until; false when a stop was
// requested first.
bool WaitUntil(Waiter& waiter, Waiter::Clock::time_point until);

// No user interface, never stops: the waits of a plain command-line call.
Waiter& NoUiWaiter();

}  // namespace quill
