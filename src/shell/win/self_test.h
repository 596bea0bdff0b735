#pragma once
// What the window says about itself when it tests itself: the files a test
// script reads back. Texts in the files are UTF-8.

#include <windows.h>

#include <vector>

#include "base/text.h"

namespace quill::shell::win {

// dir\controls.txt: the title, then one line per child window in creation
// order: class|text|left,top width x height in client pixels|font, and for a
// drop-down list its selection and items. dir\window.bmp: the whole window as
// it is drawn. Files that cannot be written are left out.
void DescribeWindow(HWND window, const Text& dir);
// Appends one line (line breaks shown as "\n") to dir\messages.txt.
void RecordMessage(const Text& dir, const Text& message);

// One step of the test: click both links; click "生成", answering its replace
// questions with the buttons labelled so, in order; click "生成" and close
// the window as soon as the run starts on its first line; or click "选择" and
// choose the folder in the browser.
struct SelfTestStep {
  enum class Action { click_links, generate, generate_and_close, choose_folder };
  Action action = Action::generate;
  TextList answers;  // GBK; for choose_folder, the folder
};
// dir\plan.txt, UTF-8, a step a line: "链接", "生成 [labels...]",
// "生成并关闭" or "选择 FOLDER"; other lines are recorded as unknown and
// skipped. Without the file, one click on "生成".
std::vector<SelfTestStep> ReadSelfTestPlan(const Text& dir);

}  // namespace quill::shell::win
