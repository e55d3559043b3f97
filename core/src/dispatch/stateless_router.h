#pragma once
// The router without a dispatcher, behind tavrin_bridge_dispatch: it needs
// no backend and no consent, so it answers "status" (with no backends) and
// refuses every other method.

#include <string>
#include <string_view>

namespace tavrin {

std::string dispatch(std::string_view request_bytes);

}  // namespace tavrin
