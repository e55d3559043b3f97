#pragma once
// The replies every dispatcher form writes: errors (of the request, of a
// backend, of a reply too large for a browser) and the status reply.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "backend/backend_error.h"
#include "protocol/enums.h"
#include "protocol/error_code.h"

namespace tavrin {

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

}  // namespace tavrin
