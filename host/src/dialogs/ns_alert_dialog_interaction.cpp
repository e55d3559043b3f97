#include "dialogs/ns_alert_dialog_interaction.h"

#include <cstdio>

#include "dialogs/alert_texts.h"

namespace tavrin::host {

NSAlertDialogInteraction::NSAlertDialogInteraction(std::shared_ptr<AlertRunning> runnerIn,
                                                   std::shared_ptr<MainThreadExecutor> mainThread)
    : runner(std::move(runnerIn)), mainThread_(std::move(mainThread)) {}

AlertResponse NSAlertDialogInteraction::present(const Alert& alert, const char* prompt,
                                                const char* outcome) {
    AlertResponse response;
    const bool ran = mainThread_->runSync([&] { response = runner->runAlert(alert); });
    if (!ran) response = AlertResponse::notShown("the host is shutting down");
    if (!response.notShownReason.empty()) {
        std::fprintf(stderr, "tavrin-bridge: the %s could not be shown (%s); %s\n", prompt,
                     response.notShownReason.c_str(), outcome);
    }
    return response;
}

bool NSAlertDialogInteraction::requestConsent(std::string_view origin,
                                              std::string_view purposesJson) {
    const auto response =
        present(AlertTexts::consent(origin, purposesJson), "consent prompt", "consent refused");
    return response.response == alertFirstButtonReturn;
}

std::optional<SecretText> NSAlertDialogInteraction::requestPin(std::string_view origin,
                                                               std::string_view,
                                                               std::uint32_t hashCount) {
    auto response =
        present(AlertTexts::pin(origin, hashCount), "PIN prompt", "PIN entry cancelled");
    if (response.response != alertFirstButtonReturn) return std::nullopt;
    // A shown field always reports its text; an empty one is an empty PIN.
    if (!response.fieldText) return SecretText("");
    return std::move(response.fieldText);
}

bool NSAlertDialogInteraction::requestSignConfirmation(std::string_view origin, std::string_view,
                                                       std::uint32_t hashCount) {
    const auto response = present(AlertTexts::signConfirmation(origin, hashCount),
                                  "signature confirmation", "signature cancelled");
    return response.response == alertFirstButtonReturn;
}

}  // namespace tavrin::host
