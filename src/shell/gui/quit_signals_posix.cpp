#include <fcntl.h>
#include <unistd.h>

#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <iterator>

#include "shell/gui/quit_signals.h"

namespace quill::shell::gui {
namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGHUP};

// The write end of the self-pipe, for the handler; -1 when none.
volatile std::sig_atomic_t wake_fd = -1;

// Only async-signal-safe calls here: the GUI thread does the rest.
void on_quit_signal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_fd, &byte, 1);  // a full pipe already wakes
  errno = saved;
}

void drain(int fd) {
  char bytes[64];
  while (::read(fd, bytes, sizeof bytes) > 0) {
  }
}

}  // namespace

struct QuitSignals::State {
  int pipe[2] = {-1, -1};
  QPointer<QSocketNotifier> notifier;
  struct sigaction previous[std::size(kQuitSignals)] = {};
  bool active = false;
};

QuitSignals::QuitSignals(QObject& context, std::function<void()> on_quit)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  if (::pipe2(s.pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  s.notifier = new QSocketNotifier(s.pipe[0], QSocketNotifier::Read, &context);
  const int read_fd = s.pipe[0];
  QObject::connect(s.notifier, &QSocketNotifier::activated, &context,
                   [read_fd, on_quit = std::move(on_quit)] {
                     drain(read_fd);
                     on_quit();
                   });
  wake_fd = s.pipe[1];
  struct sigaction action = {};
  action.sa_handler = on_quit_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kQuitSignals); ++i)
    sigaction(kQuitSignals[i], &action, &s.previous[i]);
  s.active = true;
}

QuitSignals::~QuitSignals() {
  State& s = *state_;
  if (s.active) {
    for (std::size_t i = 0; i < std::size(kQuitSignals); ++i)
      sigaction(kQuitSignals[i], &s.previous[i], nullptr);
    wake_fd = -1;
  }
  delete s.notifier.data();  // gone already when the window went first
  for (int fd : s.pipe)
    if (fd >= 0) ::close(fd);
}

bool QuitSignals::active() const { return state_->active; }

}  // namespace quill::shell::gui
