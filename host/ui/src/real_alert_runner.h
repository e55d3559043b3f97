#pragma once
// Alerts as Qt message boxes, kept above other windows and brought to the
// front while they wait for the user.

#include "dialogs/alert_running.h"

namespace tavrin::host::ui {

class RealAlertRunner final : public AlertRunning {
  public:
    AlertResponse runAlert(const Alert& alert) override;
};

}  // namespace tavrin::host::ui
