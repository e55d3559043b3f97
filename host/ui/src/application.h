#pragma once
// The module's one QApplication, created on first use on the calling thread
// (the host's main thread) and kept until the process ends.

#include <string>

namespace tavrin::host::ui {

// Empty once a QApplication exists, else why none could be created. The
// prompts always use Qt's X11 platform (on a Wayland session, through its X
// server), whatever QT_QPA_PLATFORM says: the display is probed before Qt is
// asked to open it, because Qt ends the process when its platform fails to
// start, and no platform without a screen can answer a prompt.
std::string ensureApplication();

// For drawing without a screen: a QApplication on Qt's offscreen platform,
// whatever QT_QPA_PLATFORM and DISPLAY say. Empty once it exists, else why
// not (a QApplication on another platform exists already).
std::string ensureOffscreenApplication();

}  // namespace tavrin::host::ui
