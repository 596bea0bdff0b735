#pragma once
// The program's one window on Windows: classic Win32 controls laid out in
// pixels, the same events as the Qt window, the same run interface.

#include "base/text.h"
#include "shell/session.h"

namespace quill::shell::win {

struct WindowOptions {
  // Not empty: the window describes itself into this folder (controls.txt,
  // window.bmp), follows its plan.txt (self_test.h) and closes. Messages and
  // the links' addresses go to messages.txt instead of a box or the browser;
  // the replace questions are shown and answered as the plan says.
  Text self_test_dir;
};

// Creates the window over an opened session, runs its message loop until it
// is closed (saving the settings then) and returns the process's exit code.
// A window that cannot be created gives 1.
int RunMainWindow(ProgramSession& session, const WindowOptions& options);

}  // namespace quill::shell::win
