#pragma once
// The three questions the core may put to the user, as the host answers
// them. The core reaches them through the C callback table that
// DispatcherBridge builds.

#include <cstdint>
#include <optional>
#include <string_view>

#include "dialogs/secret_text.h"

namespace tavrin::host {

class DialogInteraction {
  public:
    virtual ~DialogInteraction() = default;

    // purposesJson: ["sign"], ["auth"] or ["sign","auth"]. True grants.
    virtual bool requestConsent(std::string_view origin, std::string_view purposesJson) = 0;

    // The PIN, or nothing when the user cancelled or no prompt could be shown.
    virtual std::optional<SecretText> requestPin(std::string_view origin, std::string_view certId,
                                                 std::uint32_t hashCount) = 0;

    // True confirms the signature.
    virtual bool requestSignConfirmation(std::string_view origin, std::string_view certId,
                                         std::uint32_t hashCount) = 0;
};

}  // namespace tavrin::host
