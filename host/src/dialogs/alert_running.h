#pragma once
// The seam through which the prompts reach the screen: one operation that
// runs an alert modally and reports how it ended. The host's runner shows it
// through the user-interface module's C functions (ui_module/ui_module.h);
// tests answer from a script.

#include "dialogs/wait_control.h"
#include "ui_interface/alert.h"

namespace tavrin::host {

class AlertRunning {
  public:
    virtual ~AlertRunning() = default;
    // Called on the main thread only; returns when the user has answered or
    // with AlertResponse::notShown when no alert could be shown.
    virtual AlertResponse runAlert(const Alert& alert) = 0;

    // A notice for the time the host waits for the user at the card reader:
    // shown (reported through `control`) until `control` asks it to close or
    // the user cancels it with its button, if it has one. Main thread only;
    // returns once it is gone. A response of the first button means cancelled.
    virtual AlertResponse runWaitNotice(const Alert& /*alert*/, WaitControl& control) {
        control.reportShown(false);
        return AlertResponse::notShown("this runner shows no notices");
    }

    // Any thread: whoever asked for the alerts has gone. The alert or notice
    // that is open closes (an alert answers noButtonResponse, a notice reports
    // itself cancelled through its control), and every later one answers
    // AlertResponse::notShown at once, showing nothing. For good: there is
    // no way back.
    virtual void abandon() {}
};

}  // namespace tavrin::host
