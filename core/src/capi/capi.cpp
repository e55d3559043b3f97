// The C interface: a thin layer over the core. Every exported function
// catches everything at the boundary; an exception here means the process is
// out of memory or the core is broken, and the interface promises an abort.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "dispatch/replies.h"
#include "tavrin_bridge.h"

namespace {

[[noreturn]] void die(const char* function, const char* what) {
    std::fprintf(stderr, "tavrin-bridge: fatal error in %s: %s\n", function, what);
    std::abort();
}

template <class F>
auto guarded(const char* function, F&& body) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (const std::exception& e) {
        die(function, e.what());
    } catch (...) {
        die(function, "unknown exception");
    }
}

std::string_view as_text(const uint8_t* bytes, size_t len) {
    if (len == 0) return {};
    return {reinterpret_cast<const char*>(bytes), len};
}

// Hands a reply to the caller in a buffer of exactly its length.
uint8_t* to_buffer(const std::string& reply, size_t* reply_len) {
    // malloc(0) may return NULL; a reply is never empty, but keep the promise anyway.
    auto* buffer = static_cast<uint8_t*>(std::malloc(reply.empty() ? 1 : reply.size()));
    if (buffer == nullptr) die("reply allocation", "out of memory");
    std::memcpy(buffer, reply.data(), reply.size());
    *reply_len = reply.size();
    return buffer;
}

}  // namespace

extern "C" {

uint8_t* tavrin_bridge_dispatch(const uint8_t* request, size_t request_len, size_t* reply_len) {
    return guarded("tavrin_bridge_dispatch", [&] {
        return to_buffer(tavrin::dispatch(as_text(request, request_len)), reply_len);
    });
}

void tavrin_bridge_free_buffer(uint8_t* buffer, size_t len) {
    if (buffer == nullptr || len == 0) return;
    std::free(buffer);
}

}  // extern "C"
