#include "dispatch/stateless_router.h"

#include "dispatch/reply_serializers.h"
#include "protocol/reply_limits.h"
#include "protocol/request_reader.h"

namespace tavrin {

std::string dispatch(std::string_view request_bytes) {
    auto request = parse_request(request_bytes);
    if (!request) return serialize_parse_error(request.error());
    if (request.value().method == "status") return handle_status(request.value().id, {});
    return serialize_error(request.value().id, ErrorCode::RequestInvalid,
                           "unknown method: " + echoed(request.value().method));
}

}  // namespace tavrin
