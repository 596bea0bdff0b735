#include <windows.h>

#include <algorithm>
#include <atomic>

#include "base/completion.h"

namespace quill {

namespace {

DWORD Milliseconds(std::chrono::milliseconds slice) {
  return static_cast<DWORD>(std::clamp<long long>(slice.count(), 0, INFINITE - 1));
}

// Input already in the queue counts too, not only input that came after the
// last look at it: a pump that stopped early must not make the wait sleep
// over what it left.
DWORD WaitOn(DWORD count, const HANDLE* handles, DWORD ms, bool watch_input) {
  if (!watch_input)
    return count ? ::WaitForSingleObject(handles[0], ms) : (::Sleep(ms), static_cast<DWORD>(WAIT_TIMEOUT));
  return ::MsgWaitForMultipleObjectsEx(count, handles, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace

struct Completion::State {
  // A manual-reset event; null when the system had none to give, and then
  // the flag is looked at after every slice.
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> raised{false};
  ~State() {
    if (event) ::CloseHandle(event);
  }
};

Completion::Completion() : state_(std::make_unique<State>()) {}
Completion::~Completion() = default;

void Completion::signal() {
  state_->raised = true;
  if (state_->event) ::SetEvent(state_->event);
}

bool Completion::wait_for(std::chrono::milliseconds slice, bool watch_input) const {
  if (state_->raised) return true;
  const DWORD count = state_->event ? 1 : 0;
  WaitOn(count, &state_->event, Milliseconds(slice), watch_input);
  return state_->raised;
}

void Rest(std::chrono::milliseconds slice, bool watch_input) {
  WaitOn(0, nullptr, Milliseconds(slice), watch_input);
}

}  // namespace quill
