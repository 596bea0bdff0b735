#include "base/ui_hooks.h"

#include <cstdio>

#include "base/codepage.h"

namespace quill {
namespace {

// Without a window: the message goes to standard error in the terminal's
// encoding (UTF-8) and counts as OK; there is nothing to pump.
class HeadlessHooks final : public UiHooks {
 public:
  int show_message(const Text& message, unsigned, const Text& caption) override {
    std::string line = gbk_to_utf8(caption) + " " + gbk_to_utf8(message) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    return kResultOk;
  }
  bool pump_events() override { return false; }
};

HeadlessHooks headless;
UiHooks* installed = nullptr;

}  // namespace

void set_ui_hooks(UiHooks* hooks) { installed = hooks; }

UiHooks& ui_hooks() { return installed ? *installed : headless; }

int show_message(const Text& message, unsigned flags, const Text& caption) {
  if (!(flags & kMbSystemModal)) flags |= kMbTaskModal;
  return ui_hooks().show_message(message, flags, caption.empty() ? Text(kDefaultCaption) : caption);
}

bool pump_events() { return ui_hooks().pump_events(); }

bool quit_requested() { return ui_hooks().quit_requested(); }

}  // namespace quill
