#pragma once
// Runs the management window on the X11 display until it is closed.

#include "ui_interface/management_model.h"

namespace tavrin::host::ui {

// The exit status: 0 after the window was closed, 1 (with one line on
// standard error) when there is no display to show it on.
int runManagementWindow(ManagementModel& model);

}  // namespace tavrin::host::ui
