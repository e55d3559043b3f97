#pragma once
// The replies that every dispatcher form shares, and the stateless router.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "backend/backend_error.h"
#include "protocol/enums.h"
#include "protocol/error_code.h"

namespace tavrin {

// The largest number of hashes one "sign" request may carry.
inline constexpr std::size_t kMaxHashesPerSign = 50;

std::string serialize_error(std::string_view id, ErrorCode code, std::string message,
                            std::optional<nlohmann::ordered_json> data = std::nullopt);

// "malformed request: " + the reader's description, with an empty id.
std::string serialize_parse_error(std::string_view description);

// The error's display text with the code and "data" of its kind.
std::string serialize_backend_error(std::string_view id, const BackendError& error);

// The reply itself when a browser accepts its size (kMaxReplyBytes);
// otherwise an "internal" error reply with the request's id that names the size.
std::string within_reply_limit(std::string_view id, std::string reply);

// The status reply; the same for every call of one dispatcher.
std::string handle_status(std::string_view id, std::span<const Backend> backends);

// sign -> [sign], auth -> [auth], any -> [sign, auth].
std::span<const CertPurpose> purposes_for(Purpose purpose);

// The router without a dispatcher: answers only "status", with no backends.
std::string dispatch(std::string_view request_bytes);

}  // namespace tavrin
