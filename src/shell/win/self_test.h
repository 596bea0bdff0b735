#pragma once
// What the window says about itself when it tests itself: the files a test
// script reads back. Texts in the files are UTF-8.

#include <windows.h>

#include <vector>

#include "base/text.h"
#include "shell/window_controller.h"

namespace quill::shell::win {

// Compares the window as the window system reports it with the control table:
// title, client size and border, then each control's class, place in client
// pixels, font, and a caption's text or a list's items. Each difference goes
// to dir\messages.txt as a line "不符：..." (none: the window is the table's).
// dir\window.bmp: the whole window as it is drawn.
void CheckWindow(HWND window, const Text& dir);
// Appends one line (line breaks shown as "\n") to dir\messages.txt.
void RecordMessage(const Text& dir, const Text& message);

// One step of the test: click both links; click "生成", answering its replace
// questions with the buttons labelled so, in order; click "生成" and close
// the window as soon as the run starts on its first line; click "选择" and
// choose the folder in the browser; or fill in the network dialog.
struct SelfTestStep {
  enum class Action { click_links, generate, generate_and_close, choose_folder, network };
  Action action = Action::generate;
  TextList answers;  // GBK; for choose_folder, the folder; for network, the dialog's values in order
};
// dir\plan.txt, UTF-8, a step a line: "链接", "生成 [labels...]",
// "生成并关闭", "选择 FOLDER" or "网络 接口 网关 并发 重试 [证书]" (the network
// dialog opened from the system menu, filled in and confirmed); other lines are recorded as unknown and
// skipped. Without the file, one click on "生成".
std::vector<SelfTestStep> ReadSelfTestPlan(const Text& dir);

// Checks the window, follows the plan, then closes the window; a step that
// closed it ends the test. close_when_run_starts is the window's: set, it
// closes the window as the next run shows its first line.
void RunSelfTest(HWND window, const Text& dir, const WindowController& controller,
                 bool& close_when_run_starts);

}  // namespace quill::shell::win
