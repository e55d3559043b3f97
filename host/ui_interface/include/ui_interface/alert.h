#pragma once
// One modal alert as the host describes it and as a runner reports how it
// ended. Each side compiles these for itself; they never cross: the host
// passes an alert to the user-interface module as TavrinUiAlert and reads
// the answer from a TavrinUiResponse (ui_module_abi.h). Tests record them.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/pin.h"

namespace tavrin::host {

enum class AlertStyle { informational, warning, critical };

// A masked single-line text field below the texts; it has the keyboard focus
// when the alert appears.
struct SecureTextField {
    int width = 220;
    int height = 24;
};

struct Alert {
    std::string messageText;
    std::string informativeText;  // empty: none
    AlertStyle style = AlertStyle::informational;
    std::vector<std::string> buttons;  // in this order; the first is the default
    std::optional<SecureTextField> secureField;
};

// The response of the first button; the n-th button answers one more than
// the one before it. Anything else (noButtonResponse included) is negative.
inline constexpr int firstButtonResponse = 1000;
inline constexpr int noButtonResponse = 0;

struct AlertResponse {
    int response = noButtonResponse;
    // What the secure field held when the alert closed, whichever button ended it.
    std::optional<Pin> fieldText;
    // Why the alert could not be shown; empty when it was shown.
    std::string notShownReason;

    static AlertResponse notShown(std::string reason) {
        AlertResponse r;
        r.notShownReason = std::move(reason);
        return r;
    }
};

}  // namespace tavrin::host
