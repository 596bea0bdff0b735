#pragma once
// The core's narrow way up to the user interface. The window installs its own
// hooks; without them the core runs headless: messages go to standard error and
// pumping does nothing.

#include <string_view>

#include "base/text.h"

namespace quill {

// Message-box style bits of the Windows convention that the core uses.
inline constexpr unsigned kMbOk = 0x0000;
inline constexpr unsigned kMbIconError = 0x0010;
inline constexpr unsigned kMbSystemModal = 0x1000;
inline constexpr unsigned kMbTaskModal = 0x2000;

// Pressed buttons as show_message returns them.
enum MessageResult {
  kResultOk = 0,
  kResultCancel,
  kResultAbort,
  kResultRetry,
  kResultIgnore,
  kResultYes,
  kResultNo
};

inline constexpr std::string_view kDefaultCaption = "\xD0\xC5\xCF\xA2\xA3\xBA";  // "信息："

class UiHooks {
 public:
  virtual ~UiHooks() = default;
  // Shows a modal box; returns the pressed button (MessageResult).
  virtual int show_message(const Text& message, unsigned flags, const Text& caption) = 0;
  // Dispatches waiting events; true when at least one was handled.
  virtual bool pump_events() = 0;
  // True once the user has asked the program to end (the window is closing);
  // long waits give up at their next pump.
  virtual bool quit_requested() const { return false; }
};

// Installs hooks (nullptr restores the headless default). Not owned.
void set_ui_hooks(UiHooks* hooks);
UiHooks& ui_hooks();

// Adds the task-modal bit unless the system-modal one is given.
int show_message(const Text& message, unsigned flags = kMbOk, const Text& caption = Text(kDefaultCaption));
bool pump_events();
bool quit_requested();

}  // namespace quill
