#include "shell/gui/quit_signals.h"

namespace quill::shell::gui {

// No quit signals here; the window's own close and the session end remain.
struct QuitSignals::State {};

QuitSignals::QuitSignals(QWidget&) {}
QuitSignals::~QuitSignals() = default;
bool QuitSignals::active() const { return false; }

}  // namespace quill::shell::gui
