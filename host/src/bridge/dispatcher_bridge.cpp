#include "bridge/dispatcher_bridge.h"

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tavrin::host {
namespace {

// A broken contract between host and core: stop with a fixed message.
[[noreturn]] void contractViolation(const char* message) {
    std::fprintf(stderr, "tavrin-bridge: %s\n", message);
    std::abort();
}

// Copies the core's reply and hands its buffer back at once.
std::vector<std::uint8_t> takeReply(std::uint8_t* reply, std::size_t length, const char* what) {
    if (reply == nullptr) contractViolation(what);
    std::vector<std::uint8_t> copy(reply, reply + length);
    tavrin_bridge_free_buffer(reply, length);
    return copy;
}

const std::uint8_t* bytesOf(std::span<const std::uint8_t> request) {
    // The core wants a pointer even for an empty request.
    static const std::uint8_t empty = 0;
    return request.empty() ? &empty : request.data();
}

}  // namespace

DispatcherBridge::DispatcherBridge(std::shared_ptr<DialogInteraction> interactionIn)
    : interaction(std::move(interactionIn)) {}

std::unique_ptr<DispatcherBridge> DispatcherBridge::create(
    const std::string& keychainConsentStorePath, std::shared_ptr<DialogInteraction> interaction) {
    std::unique_ptr<DispatcherBridge> bridge(new DispatcherBridge(std::move(interaction)));
    const TavrinBridgeCallbacks callbacks = makeCallbacks(bridge.get());
    bridge->handle = tavrin_bridge_create_keychain(keychainConsentStorePath.c_str(), &callbacks);
    if (bridge->handle == nullptr) return nullptr;
    const TavrinBridgeWaitCallbacks waits = makeWaitCallbacks(bridge.get());
    tavrin_bridge_set_wait_callbacks(bridge->handle, &waits);
    tavrin_bridge_set_pin_entry(bridge->handle, &enterPin);
    return bridge;
}

DispatcherBridge::~DispatcherBridge() {
    if (handle != nullptr) tavrin_bridge_destroy(handle);
}

std::vector<std::uint8_t> DispatcherBridge::handleRequest(std::span<const std::uint8_t> request) {
    if (handle == nullptr) {
        contractViolation("DispatcherBridge.handleRequest called without a valid handle");
    }
    std::size_t length = 0;
    std::uint8_t* reply =
        tavrin_bridge_handle_request(handle, bytesOf(request), request.size(), &length);
    return takeReply(reply, length,
                     "tavrin_bridge_handle_request returned null \u2014 FFI contract violation");
}

TavrinBridgeCallbacks DispatcherBridge::makeCallbacks(DispatcherBridge* selfPtr) {
    TavrinBridgeCallbacks callbacks{};
    callbacks.user_data = selfPtr;
    callbacks.request_consent = [](const char* origin, const char* purposesJson,
                                   void* userData) -> int32_t {
        if (userData == nullptr || origin == nullptr || purposesJson == nullptr) return 0;
        auto* bridge = static_cast<DispatcherBridge*>(userData);
        return bridge->interaction->requestConsent(origin, purposesJson) ? 1 : 0;
    };
    // The core asks enterPin (set right after creation) instead: a PIN
    // never crosses as a heap copy.
    callbacks.request_pin = [](const char*, const char*, uint32_t, void*) -> char* {
        return nullptr;
    };
    callbacks.request_sign_confirmation = [](const char* origin, const char* certId,
                                             uint32_t hashCount, void* userData) -> int32_t {
        if (userData == nullptr || origin == nullptr || certId == nullptr) return 0;
        auto* bridge = static_cast<DispatcherBridge*>(userData);
        return bridge->interaction->requestSignConfirmation(origin, certId, hashCount) ? 1 : 0;
    };
    return callbacks;
}

int32_t DispatcherBridge::enterPin(const char* origin, const char* certId, uint32_t hashCount,
                                   char* buffer, size_t capacity, size_t* length, void* userData) {
    if (userData == nullptr || origin == nullptr || certId == nullptr || buffer == nullptr ||
        length == nullptr)
        return 0;
    try {
        auto* bridge = static_cast<DispatcherBridge*>(userData);
        // The prompt's PIN (secret pages) goes straight into the core's.
        const std::optional<Pin> pin = bridge->interaction->requestPin(origin, certId, hashCount);
        if (!pin) return 0;
        if (pin->size() > capacity) return -1;
        std::copy(pin->data(), pin->data() + pin->size(), buffer);
        *length = pin->size();
        return 1;
    } catch (...) {
        // Nothing thrown may unwind through the core: the PIN counts as
        // cancelled.
        return 0;
    }
}

TavrinBridgeWaitCallbacks DispatcherBridge::makeWaitCallbacks(DispatcherBridge* selfPtr) {
    TavrinBridgeWaitCallbacks callbacks{};
    callbacks.user_data = selfPtr;
    // The handle the core holds is the notice itself, released when closed.
    callbacks.open_wait = [](int32_t kind, const char* origin, uint32_t hashCount,
                             void* userData) -> void* {
        if (userData == nullptr || origin == nullptr) return nullptr;
        auto* bridge = static_cast<DispatcherBridge*>(userData);
        const WaitKind what =
            kind == TAVRIN_BRIDGE_WAIT_PIN_PAD ? WaitKind::PinPad : WaitKind::Card;
        return bridge->interaction->openWait(what, origin, hashCount).release();
    };
    callbacks.wait_cancelled = [](void* wait, void*) -> int32_t {
        return wait != nullptr && static_cast<WaitNotice*>(wait)->cancelled() ? 1 : 0;
    };
    callbacks.close_wait = [](void* wait, void*) { delete static_cast<WaitNotice*>(wait); };
    return callbacks;
}

std::vector<std::uint8_t> NativeBridge::dispatch(std::span<const std::uint8_t> request) {
    std::size_t length = 0;
    std::uint8_t* reply = tavrin_bridge_dispatch(bytesOf(request), request.size(), &length);
    return takeReply(reply, length,
                     "tavrin_bridge_dispatch returned null \u2014 FFI contract violation");
}

}  // namespace tavrin::host
