#pragma once
// The three questions the core may put to the user, as the host answers
// them. The core reaches them through the C callback table that
// DispatcherBridge builds.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "common/pin.h"
#include "common/wait_kind.h"

namespace tavrin::host {

// A notice on screen while the host waits for the user at the card reader;
// closed (and gone from the screen) when the object goes away.
class WaitNotice {
  public:
    virtual ~WaitNotice() = default;
    // True once the user cancelled it.
    virtual bool cancelled() const = 0;
};

class DialogInteraction {
  public:
    virtual ~DialogInteraction() = default;

    // purposesJson: ["sign"], ["auth"] or ["sign","auth"]. True grants.
    virtual bool requestConsent(std::string_view origin, std::string_view purposesJson) = 0;

    // The PIN, or nothing when the user cancelled or no prompt could be shown.
    virtual std::optional<Pin> requestPin(std::string_view origin, std::string_view certId,
                                          std::uint32_t hashCount) = 0;

    // True confirms the signature.
    virtual bool requestSignConfirmation(std::string_view origin, std::string_view certId,
                                         std::uint32_t hashCount) = 0;

    // Shows the notice for `kind` (hashCount: the hashes to sign, for a
    // keypad) and returns at once; nothing when none can be shown.
    virtual std::unique_ptr<WaitNotice> openWait(WaitKind /*kind*/, std::string_view /*origin*/,
                                                 std::uint32_t /*hashCount*/) {
        return nullptr;
    }
};

}  // namespace tavrin::host
