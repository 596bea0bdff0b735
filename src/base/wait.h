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
  // True when pump() dispatches this thread's window messages: then a wait also
  // ends as soon as input arrives for them (on Windows, the only system with
  // such a queue to watch).
  virtual bool pumps_message_queue() const { return false; }
  // How long one wait may sleep before the waiter pumps and looks at its stop
  // request again. Short when only time ends a wait (a Qt window is pumped by
  // it, a console's Ctrl+C is seen by it); longer when input ends it too, as
  // then it only bounds how late a time limit is seen.
  std::chrono::milliseconds slice() const {
    return std::chrono::milliseconds(pumps_message_queue() ? 100 : 15);
  }
  virtual Clock::time_point now() const { return Clock::now(); }
  // Lets up to slice pass when there was nothing to pump: a real sleep, cut
  // short by input when pumps_message_queue(); tests move their own clock instead.
  virtual void rest(std::chrono::milliseconds slice);
};

// No user interface, never stops: the waits of a plain command-line call.
Waiter& NoUiWaiter();

}  // namespace quill
