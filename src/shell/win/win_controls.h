#pragma once
// The Win32 plumbing of the window: what each kind of control is to the
// window system, its fonts and colours, the message loops.

#include <windows.h>

#include <functional>
#include <string>

#include "base/text.h"
#include "shell/window_controller.h"

namespace quill::shell::win {

// A control's child window id, and back (-1 for an id that is no control's).
int ControlId(Control control);
int ControlOf(int id);

// Creates a control as its row asks: class, style, font, list, filters.
HWND CreateControl(HWND window, Control control, const ControlRow& row);

// Registers a window class of the dialog colour and the arrow cursor, once
// per name; false when that failed.
bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HICON icon = nullptr);

// A drop-down list's items, replaced.
void SetItems(HWND combo, const TextList& items);
std::wstring WindowText(HWND window);
// A drop-down list's selected item, "" for none.
Text SelectedItem(HWND combo);

// WM_CTLCOLORSTATIC and WM_SETCURSOR for the coloured label and the links;
// 0 when the message is not about one of them.
LRESULT PaintControl(UINT message, WPARAM wparam, LPARAM lparam);

void CenterOnWorkArea(HWND window);

// One round of the thread's waiting messages, dialog keys for window; true
// when any was handled. A quit is left for the program's loop, after on_quit.
bool PumpMessages(HWND window, const std::function<void()>& on_quit);
// The program's loop until a quit; its exit code.
int RunMessageLoop(HWND window);

}  // namespace quill::shell::win
