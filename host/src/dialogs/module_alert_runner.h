#pragma once
// The host's alert runner: loads the user-interface module on the first
// alert and lets the module's real runner show every alert. When the module
// cannot be loaded, each alert answers AlertResponse::notShown with the reason.

#include "ui_interface/alert_running.h"

namespace tavrin::host {

class ModuleAlertRunner final : public AlertRunning {
  public:
    AlertResponse runAlert(const Alert& alert) override;
    AlertResponse runWaitNotice(const Alert& alert, WaitControl& control) override;
};

}  // namespace tavrin::host
