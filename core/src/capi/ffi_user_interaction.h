#pragma once
// The core's prompts carried over the host's C callback table.

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "common/pin.h"
#include "dispatch/user_interaction.h"
#include "protocol/enums.h"
#include "tavrin_bridge.h"

namespace tavrin {

class FfiUserInteraction {
  public:
    explicit FfiUserInteraction(const TavrinBridgeCallbacks& callbacks) : callbacks_(callbacks) {}

    // A text with a NUL byte cannot cross the interface: the answer is then
    // a refusal without asking the host.
    bool request_consent(std::string_view origin, std::span<const CertPurpose> purposes);
    std::optional<Pin> request_pin(std::string_view origin, std::string_view cert_id,
                                   std::size_t hash_count);
    bool request_sign_confirmation(std::string_view origin, std::string_view cert_id,
                                   std::size_t hash_count);

    // The direct PIN entry, once the host has given it (null: request_pin).
    void set_pin_entry(TavrinBridgePinEntry entry) { pin_entry_ = entry; }

    // The wait notices, once the host has given them (null: none).
    void set_wait_callbacks(const TavrinBridgeWaitCallbacks* callbacks);
    void* begin_wait(WaitKind kind, std::string_view origin, std::size_t hash_count);
    bool wait_cancelled(void* wait);
    void end_wait(void* wait);

  private:
    TavrinBridgeCallbacks callbacks_;
    std::optional<TavrinBridgeWaitCallbacks> waits_;
    TavrinBridgePinEntry pin_entry_ = nullptr;
};

// The PIN from the host's text, invalid UTF-8 replaced by U+FFFD.
Pin pin_from_host(std::string_view text);

}  // namespace tavrin
