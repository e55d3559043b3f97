#pragma once
// What a prompt's X11 window tells the window manager before it is mapped.
//
// freshenUserTime brings the toolkit's idea of the X server time
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

// Both create the native window if needed and do nothing off X11.
void freshenUserTime(QWidget& window);

// Asks for the "above" state (_NET_WM_STATE_ABOVE) from the start. Qt adds
// it only when the running window manager announces support, so a prompt
// mapped before a window manager starts, or under one that announces late,
// would lack it; an unsupported state is ignored by the window manager.
void requestKeepAbove(QWidget& window);

}  // namespace tavrin::host::ui
