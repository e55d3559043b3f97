#pragma once
// The seam through which the prompts reach the screen: one operation that
// runs an alert modally and reports how it ended. The host's runner shows it
// with the user-interface module; tests answer from a script.

#include "dialogs/alert.h"

namespace tavrin::host {

class AlertRunning {
  public:
    virtual ~AlertRunning() = default;
    // Called on the main thread only; returns when the user has answered or
    // with AlertResponse::notShown when no alert could be shown.
    virtual AlertResponse runAlert(const Alert& alert) = 0;
};

}  // namespace tavrin::host
