#pragma once
// Alerts as Qt message boxes, kept above other windows and brought to the
// front while they wait for the user.

#include <mutex>

#include "ui_interface/alert_running.h"

class QMessageBox;

namespace tavrin::host::ui {

class RealAlertRunner final : public AlertRunning {
  public:
    AlertResponse runAlert(const Alert& alert) override;
    // A notice as a message box without the field, closed by the host or by
    // its one button (cancel), if it has one.
    AlertResponse runWaitNotice(const Alert& alert, WaitControl& control) override;
    // Closes the open box through the main thread's event queue.
    void abandon() override;

  private:
    // Makes `box` the open one, which abandon() closes; false once abandoned.
    // Call it right before the box is shown, after anything that runs the
    // event loop: a close posted earlier would be served before exec().
    bool admit(QMessageBox& box);
    void withdraw();
    bool abandoned();

    std::mutex mutex_;
    QMessageBox* open_ = nullptr;
    bool abandoned_ = false;
};

}  // namespace tavrin::host::ui
