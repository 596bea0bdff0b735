#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/completion.h"

namespace quill {

struct Completion::State {
  std::mutex mutex;
  std::condition_variable raised_changed;
  bool raised = false;
};

Completion::Completion() : state_(std::make_unique<State>()) {}
Completion::~Completion() = default;

void Completion::signal() {
  std::lock_guard lock(state_->mutex);
  state_->raised = true;
  state_->raised_changed.notify_all();
}

bool Completion::wait_for(std::chrono::milliseconds slice, bool) const {
  std::unique_lock lock(state_->mutex);
  return state_->raised_changed.wait_for(lock, slice, [&] { return state_->raised; });
}

void Rest(std::chrono::milliseconds slice, bool) { std::this_thread::sleep_for(slice); }

}  // namespace quill
