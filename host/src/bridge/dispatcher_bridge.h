#pragma once
// The host's owner of one core dispatcher for a whole host run: it creates
// the dispatcher through the C interface, answers requests with it and
// destroys it when released. The core reaches the user through callbacks
// that forward to the DialogInteraction held here.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "dialogs/dialog_interaction.h"
#include "tavrin_bridge.h"

namespace tavrin::host {

class DispatcherBridge {
  public:
    // Nothing when the core refuses (an unreadable consent file, a path that
    // is not valid text).
    static std::unique_ptr<DispatcherBridge> create(const std::string& keychainConsentStorePath,
                                                    std::shared_ptr<DialogInteraction> interaction);
    ~DispatcherBridge();
    DispatcherBridge(const DispatcherBridge&) = delete;
    DispatcherBridge& operator=(const DispatcherBridge&) = delete;

    // Whether answering `request` may show the user a prompt or a notice.
    static bool needsUser(std::span<const std::uint8_t> request) {
        return tavrin_bridge_request_needs_user(request.data(), request.size()) != 0;
    }

    // The reply to one request (always one; the core answers every input).
    std::vector<std::uint8_t> handleRequest(std::span<const std::uint8_t> request);

    // The table whose callbacks forward to `selfPtr`'s interaction; the
    // pointer is passed as user_data without taking ownership.
    static TavrinBridgeCallbacks makeCallbacks(DispatcherBridge* selfPtr);
    // The wait notices' table, likewise.
    static TavrinBridgeWaitCallbacks makeWaitCallbacks(DispatcherBridge* selfPtr);
    // The PIN prompt writing into the core's secret buffer
    // (tavrin_bridge_set_pin_entry); `userData` is the bridge.
    static int32_t enterPin(const char* origin, const char* certId, uint32_t hashCount,
                            char* buffer, size_t capacity, size_t* length, void* userData);

  private:
    explicit DispatcherBridge(std::shared_ptr<DialogInteraction> interaction);

    DispatcherHandle* handle = nullptr;
    std::shared_ptr<DialogInteraction> interaction;
};

// The management window's one-shot calls that need no dispatcher.
namespace NativeBridge {
std::vector<std::uint8_t> dispatch(std::span<const std::uint8_t> request);
}

}  // namespace tavrin::host
