#include "base/wait.h"

namespace quill {

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
