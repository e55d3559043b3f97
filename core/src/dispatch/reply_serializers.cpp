#include "dispatch/reply_serializers.h"

#include "protocol/build_info.h"
#include "protocol/records.h"
#include "protocol/reply_limits.h"
#include "protocol/reply_writer.h"

namespace tavrin {
namespace {

// How each backend error appears on the wire: its code and whether it
// carries detail.
ErrorCode code_of(BackendError::Kind kind) {
    using K = BackendError::Kind;
    switch (kind) {
        case K::NoReader:
            return ErrorCode::NoReader;
        case K::NoToken:
            return ErrorCode::NoToken;
        case K::NoMatchingCertificates:
            return ErrorCode::NoCertificates;
        case K::UnknownCertificateId:
            return ErrorCode::OriginNotAllowed;
        case K::PinIncorrect:
            return ErrorCode::PinIncorrect;
        case K::PinBlocked:
            return ErrorCode::PinBlocked;
        case K::MechanismUnsupported:
            return ErrorCode::MechanismUnsupported;
        case K::MiddlewareMissing:
            return ErrorCode::MiddlewareMissing;
        case K::Internal:
            return ErrorCode::Internal;
        case K::UserCancelled:
            return ErrorCode::UserCancelled;
    }
    return ErrorCode::Internal;
}

std::optional<nlohmann::ordered_json> data_of(const BackendError& error) {
    using K = BackendError::Kind;
    nlohmann::ordered_json data = nlohmann::ordered_json::object();
    switch (error.kind()) {
        case K::PinIncorrect:
            if (!error.retries_left()) return std::nullopt;
            data["retriesLeft"] = *error.retries_left();
            return data;
        case K::MechanismUnsupported:
            data["requested"] = error.text();
            return data;
        case K::MiddlewareMissing:
            data["hint"] = error.text();
            return data;
        default:
            return std::nullopt;
    }
}

}  // namespace

std::string serialize_error(std::string_view id, ErrorCode code, std::string message,
                            std::optional<nlohmann::ordered_json> data) {
    return write_reply(
        ErrorResponse{std::string(id), ErrorBody{code, std::move(message), std::move(data)}});
}

std::string serialize_parse_error(std::string_view description) {
    return serialize_error("", ErrorCode::RequestInvalid,
                           "malformed request: " + std::string(description));
}

std::string serialize_backend_error(std::string_view id, const BackendError& error) {
    return serialize_error(id, code_of(error.kind()), error.display(), data_of(error));
}

std::string within_reply_limit(std::string_view id, std::string reply) {
    if (reply.size() <= kMaxReplyBytes) return reply;
    return serialize_error(id, ErrorCode::Internal,
                           "reply of " + std::to_string(reply.size()) + " bytes exceeds the " +
                               std::to_string(kMaxReplyBytes) + "-byte limit a browser accepts");
}

std::string handle_status(std::string_view id, std::span<const Backend> backends) {
    StatusResult status{kBridgeVersion, kProtocolVersion, build_platform(),
                        std::vector<Backend>(backends.begin(), backends.end()),
                        BuildInfo::current()};
    return write_reply(SuccessResponse<StatusResult>{std::string(id), std::move(status)});
}

}  // namespace tavrin
