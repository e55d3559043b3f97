#pragma once
// The three prompts' alerts: their Czech texts, buttons and accessory.

#include <cstdint>
#include <string>
#include <string_view>

#include "ui_interface/alert.h"

namespace tavrin::host::AlertTexts {

// purposesJson: a JSON array of purpose names.
Alert consent(std::string_view origin, std::string_view purposesJson);
Alert pin(std::string_view origin, std::uint32_t hashCount);
Alert signConfirmation(std::string_view origin, std::uint32_t hashCount);
// The notices while the host waits at the card reader.
Alert pinPadNotice(std::string_view origin, std::uint32_t hashCount);
// hashCount 0: a listing waits for the card; otherwise the signature of that
// many documents does.
Alert insertCard(std::string_view origin, std::uint32_t hashCount);

// The purposes in words, joined with ", "; empty unless purposesJson is an
// array of strings.
std::string purposeSummary(std::string_view purposesJson);

}  // namespace tavrin::host::AlertTexts
