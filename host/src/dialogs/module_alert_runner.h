#pragma once
// The host's alert runner: loads the user-interface module on the first
// alert and lets the module's real runner show every alert. When the module
// cannot be loaded, each alert answers AlertResponse::notShown with the reason.
// Once abandoned, alerts answer notShown without loading the module.

#include <atomic>

#include "dialogs/alert_running.h"

namespace tavrin::host {

class ModuleAlertRunner final : public AlertRunning {
  public:
    AlertResponse runAlert(const Alert& alert) override;
    AlertResponse runWaitNotice(const Alert& alert, WaitControl& control) override;
    // Any thread: passed on to the module's runner when the module is loaded.
    void abandon() override;

  private:
    // Main thread: the module's runner, loaded on first use, or why not.
    AlertRunning* loaded(std::string& problem);

    std::atomic<bool> abandoned_{false};
    std::atomic<AlertRunning*> loaded_{nullptr};
};

}  // namespace tavrin::host
