#include "base/wait.h"

#include "base/completion.h"

namespace quill {

void Waiter::rest(std::chrono::milliseconds slice) { Rest(slice, pumps_message_queue()); }

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
