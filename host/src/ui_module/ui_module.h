#pragma once
// The host's handle on the loaded user-interface module: its table of C
// functions (ui_interface/ui_module_abi.h) behind the C++ the rest of the
// host uses. Alerts, responses, the wait notice and the management window's
// data are converted here into C structs, callbacks and JSON bytes, so that
// no object of the host's C++ runtime reaches the module's.

#include <cstdint>
#include <string>

#include "dialogs/alert_running.h"
#include "ui_interface/management_model.h"
#include "ui_interface/ui_module_abi.h"

namespace tavrin::host {

inline constexpr std::uint32_t uiModuleInterfaceVersion = TAVRIN_UI_INTERFACE_VERSION;

class UiModule {
  public:
    // `table` lives as long as the process (the module is never unloaded).
    explicit UiModule(const TavrinUiModule& table) : alerts_(table), table_(table) {}
    UiModule(const UiModule&) = delete;
    UiModule& operator=(const UiModule&) = delete;

    // The real modal alerts. Main thread only, except abandon(). The first
    // alert opens the display; when that fails, every alert answers
    // AlertResponse::notShown with the module's reason.
    AlertRunning& alertRunner() { return alerts_; }

    // Shows the management window on the X11 display and runs its event
    // loop until the user closes it; the process's exit status (1, after
    // one line on standard error, when no window can be shown). Main thread
    // only, once per process.
    int runManagementWindow(ManagementModel& model);

    // Draws the window's content off screen at twice its size and writes it
    // to `path` as PNG; 0, or 1 after writing the reason to standard error.
    // No display is needed. Main thread only, not after runManagementWindow.
    int renderPreview(ManagementModel& model, const std::string& path);

  private:
    class Alerts final : public AlertRunning {
      public:
        explicit Alerts(const TavrinUiModule& table) : table_(table) {}
        AlertResponse runAlert(const Alert& alert) override;
        AlertResponse runWaitNotice(const Alert& alert, WaitControl& control) override;
        void abandon() override;

      private:
        const TavrinUiModule& table_;
    };

    Alerts alerts_;
    const TavrinUiModule& table_;
};

}  // namespace tavrin::host
