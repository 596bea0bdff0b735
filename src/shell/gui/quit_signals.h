#pragma once
// Requests to end the program that come from outside the window: SIGTERM and
// SIGHUP on POSIX systems (a shutdown, a closed terminal, a service manager).

#include <functional>
#include <memory>

class QObject;

namespace quill::shell::gui {

// While it lives, SIGTERM and SIGHUP run on_quit on the GUI thread (from the
// event loop of whatever dialog is open); the handlers that were there before
// come back when it ends. Where there are no such signals it does nothing.
// Meant for one window at a time; context owns the notifier.
class QuitSignals final {
 public:
  QuitSignals(QObject& context, std::function<void()> on_quit);
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  // False when the signals are left as they were (no such signals, or no pipe).
  bool active() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quill::shell::gui
