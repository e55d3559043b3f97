#pragma once
// The prompts of a build that cannot show any: every question counts as
// unanswered (consent refused, PIN and signature cancelled), and the reason is
// written to standard error once per question, so that the request gets its
// normal error reply and the host keeps serving.

#include "dialogs/dialog_interaction.h"

namespace tavrin::host {

class UnavailableDialogs final : public DialogInteraction {
  public:
    bool requestConsent(std::string_view origin, std::string_view purposesJson) override;
    std::optional<SecretText> requestPin(std::string_view origin, std::string_view certId,
                                         std::uint32_t hashCount) override;
    bool requestSignConfirmation(std::string_view origin, std::string_view certId,
                                 std::uint32_t hashCount) override;
};

}  // namespace tavrin::host
