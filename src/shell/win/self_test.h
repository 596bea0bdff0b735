#pragma once
// What the window says about itself when it tests itself: the files a test
// script reads back. Texts in the files are UTF-8.

#include <windows.h>

#include "base/text.h"

namespace quill::shell::win {

// dir\controls.txt: the title, then one line per child window in creation
// order: class|text|left,top width x height in client pixels|font, and for a
// drop-down list its selection and items. dir\window.bmp: the whole window as
// it is drawn. Files that cannot be written are left out.
void DescribeWindow(HWND window, const Text& dir);
// Appends one line (line breaks shown as "\n") to dir\messages.txt.
void RecordMessage(const Text& dir, const Text& message);

}  // namespace quill::shell::win
