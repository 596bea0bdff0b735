#pragma once
// Requests to end the program that come from outside the window: SIGTERM and
// SIGHUP on POSIX systems (a shutdown, a closed terminal, a service manager).

#include <memory>

class QWidget;

namespace quill::shell::gui {

// While it lives, SIGTERM and SIGHUP close window on the GUI thread as the user
// closing it would, so the settings get saved; the handlers that were there
// before come back when it ends. Where there are no such signals it does
// nothing. Meant for one window at a time.
class QuitSignals final {
 public:
  explicit QuitSignals(QWidget& window);
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
