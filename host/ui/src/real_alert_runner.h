#pragma once
// Alerts as Qt message boxes, kept above other windows and brought to the
// front while they wait for the user.

#include "ui_interface/alert_running.h"

namespace tavrin::host::ui {

class RealAlertRunner final : public AlertRunning {
  public:
    AlertResponse runAlert(const Alert& alert) override;
    // A notice as a message box without the field, closed by the host or by
    // its one button (cancel), if it has one.
    AlertResponse runWaitNotice(const Alert& alert, WaitControl& control) override;
};

}  // namespace tavrin::host::ui
