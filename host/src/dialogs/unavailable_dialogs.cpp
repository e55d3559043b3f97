#include "dialogs/unavailable_dialogs.h"

#include <cstdio>

namespace tavrin::host {
namespace {

void report(const char* question) {
    std::fprintf(stderr, "tavrin-bridge: no dialog can be shown in this build; %s\n", question);
}

}  // namespace

bool UnavailableDialogs::requestConsent(std::string_view, std::string_view) {
    report("consent refused");
    return false;
}

std::optional<SecretText> UnavailableDialogs::requestPin(std::string_view, std::string_view,
                                                         std::uint32_t) {
    report("PIN prompt cancelled");
    return std::nullopt;
}

bool UnavailableDialogs::requestSignConfirmation(std::string_view, std::string_view,
                                                 std::uint32_t) {
    report("signature cancelled");
    return false;
}

}  // namespace tavrin::host
