#include "base/wait.h"

#include <algorithm>

#include "base/completion.h"

namespace quill {

void Waiter::rest(std::chrono::milliseconds slice) { Rest(slice, pumps_message_queue()); }

bool WaitUntil(Waiter& waiter, Waiter::Clock::time_point until) {
  for (;;) {
    if (waiter.stop_requested()) return false;
    const auto now = waiter.now();
    if (now >= until) return true;
    if (!waiter.pump()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now);
      waiter.rest(std::min(waiter.slice(), left));
    }
  }
}

Waiter& NoUiWaiter() {
  class Plain final : public Waiter {
   public:
    bool pump() override { return false; }
    bool stop_requested() const override { return false; }
  };
  static Plain plain;
  return plain;
}

}  // namespace quill
