#pragma once
// Alerts as Qt message boxes, kept above other windows and brought to the
// front while they wait for the user.

#include <mutex>

#include "notice_control.h"
#include "ui_interface/alert.h"

class QMessageBox;

namespace tavrin::host::ui {

class RealAlertRunner final {
  public:
    // Runs the alert modally until the user answers; main thread only. The
    // first alert opens the display; when that fails, every alert answers
    // AlertResponse::notShown.
    AlertResponse runAlert(const Alert& alert);
    // A notice as a message box without the field, closed by the host or by
    // its one button (cancel), if it has one.
    AlertResponse runWaitNotice(const Alert& alert, NoticeControl& control);
    // Any thread: closes the open box through the main thread's event queue;
    // every later alert answers AlertResponse::notShown.
    void abandon();

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
