#pragma once
// The one place a thread goes to sleep waiting for another. On Windows a
// user-interface thread also wakes as soon as input reaches its message queue,
// so it can handle the input at once instead of at the next slice; elsewhere
// only the signal (or the time) wakes it.

#include <chrono>
#include <memory>

namespace quill {

// A flag raised once by one thread and waited for by others.
class Completion {
 public:
  Completion();
  ~Completion();
  Completion(const Completion&) = delete;
  Completion& operator=(const Completion&) = delete;

  // Raises the flag and wakes every waiter; later calls change nothing.
  void signal();
  // Waits up to slice for the flag (0: only looks); true once it is raised.
  // With watch_input the wait also ends, false, when input is in the calling
  // thread's message queue (Windows; other systems have none to watch).
  bool wait_for(std::chrono::milliseconds slice, bool watch_input = false) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Lets up to slice pass; with watch_input less, once input is in the calling
// thread's message queue (Windows only).
void Rest(std::chrono::milliseconds slice, bool watch_input);

}  // namespace quill
