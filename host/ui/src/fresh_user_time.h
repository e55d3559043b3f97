#pragma once
// Before a prompt is mapped: brings the toolkit's idea of the X server time
// up to now. Qt stamps a window's user time (_NET_WM_USER_TIME) and its
// request for the focus with the time of the last X event it saw; in a
// process that has been idle while the user typed into the browser, that
// time is older than the browser's last input, and the window manager's
// focus-stealing prevention (or the X server itself, without a window
// manager) refuses the prompt the front and the focus. A property change on
// the prompt's own window makes the server send an event with the current
// time, which Qt takes as its latest time.

class QWidget;

namespace tavrin::host::ui {

// Creates the native window if needed. Does nothing off X11.
void freshenUserTime(QWidget& window);

}  // namespace tavrin::host::ui
