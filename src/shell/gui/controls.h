#pragma once
// The Qt widget of each kind of control in the window's table.

#include <QWidget>

#include "shell/window_controller.h"

namespace quill::shell::gui {

// The widget row asks for (without its name, place or font): a multi-line box
// whose Tab leaves it, single-line boxes that keep the first line of what is
// put into them, the count box's filter, drop-down lists at least
// kOpenListHeight tall when they have the items, links with the link role.
QWidget* MakeControl(const ControlRow& row, QWidget* parent);

}  // namespace quill::shell::gui
