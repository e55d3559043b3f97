#pragma once
// The one vocabulary of failure on the wire, in its declared order.

#include <cstdint>
#include <string_view>

#include "protocol/enums.h"

namespace tavrin {

enum class ErrorCode : std::uint8_t {
    UserCancelled,
    ConsentDenied,
    OriginNotAllowed,
    NoReader,
    NoToken,
    NoCertificates,
    PinIncorrect,
    PinBlocked,
    MechanismUnsupported,
    MiddlewareMissing,
    RequestInvalid,
    Internal,
};

template <>
struct WireNames<ErrorCode> {
    static constexpr std::array<std::string_view, 12> names{
        "user_cancelled",     "consent_denied",  "origin_not_allowed",
        "no_reader",          "no_token",        "no_certificates",
        "pin_incorrect",      "pin_blocked",     "mechanism_unsupported",
        "middleware_missing", "request_invalid", "internal"};
};

}  // namespace tavrin
