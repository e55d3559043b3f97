// The stateless router over arbitrary bytes: it must answer every input with
// one JSON object carrying an "id" and either "result" or "error".

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <nlohmann/json.hpp>

#include "dispatch/stateless_router.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view request(reinterpret_cast<const char*>(data), size);
    const std::string reply = tavrin::dispatch(request);
    const auto parsed = nlohmann::json::parse(reply, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object() || !parsed.contains("id") ||
        parsed.contains("result") == parsed.contains("error")) {
        std::abort();
    }
    return 0;
}
