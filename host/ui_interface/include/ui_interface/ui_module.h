#pragma once
// The interface between the executable and the user-interface module
// (libtavrin_bridge_ui.so), which holds everything that needs Qt. The
// executable never links Qt: it loads the module with dlopen the first time
// it must show something and reaches it through this header only.
//
// The module exports one C function, TAVRIN_BRIDGE_UI_FACTORY, of type
// TavrinBridgeUiFactory. Both sides are built from this folder
// (ui_interface/), which holds every type that crosses and includes nothing
// from outside it; a module built from another revision is refused by its
// version number, so every change to UiModule or to the records of this
// folder must raise uiModuleInterfaceVersion. New operations are appended to
// UiModule with a new version.

#include <cstdint>
#include <string>

#include "ui_interface/alert_running.h"
#include "ui_interface/management_model.h"

namespace tavrin::host {

inline constexpr std::uint32_t uiModuleInterfaceVersion = 6;

class UiModule {
  public:
    // The module's one instance lives until the process ends; the host
    // never destroys it and never unloads the module.
    virtual ~UiModule() = default;

    // The real modal alerts. Main thread only. The first alert opens the
    // display; when that fails, every alert answers AlertResponse::notShown.
    virtual AlertRunning& alertRunner() = 0;

    // Shows the management window on the X11 display and runs the event
    // loop until the user closes it; returns the process's exit status (1,
    // after one line on standard error, when no window can be shown).
    // Main thread only, and only once per process.
    virtual int runManagementWindow(ManagementModel& model) = 0;

    // Draws the window's content (header, status, readers and cards, grants
    // and browsers, no tabs) off screen at twice its size and writes it to
    // `path` as PNG. Returns 0, or 1 after writing the reason to standard
    // error. No display is needed. Main thread only, and not after runManagementWindow.
    virtual int renderPreview(ManagementModel& model, const std::string& path) = 0;
};

}  // namespace tavrin::host

#define TAVRIN_BRIDGE_UI_FACTORY "tavrin_bridge_ui_create"

extern "C" {
// Stores the module's interface version in *moduleVersion and returns the
// module's instance when it equals hostVersion, else NULL. This signature
// never changes, so that any two revisions can at least compare versions.
using TavrinBridgeUiFactory = tavrin::host::UiModule* (*)(std::uint32_t hostVersion,
                                                          std::uint32_t* moduleVersion);
}
