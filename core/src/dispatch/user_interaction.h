#pragma once
// The three prompts the core may put to the user. All are synchronous and are
// called on the thread that called the dispatcher, never while a lock of the
// core is held.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/pin.h"
#include "common/wait_kind.h"
#include "protocol/enums.h"

namespace tavrin {

// request_consent(origin, purposes): true when the user grants the origin
//   access for these purposes.
// request_pin(origin, cert_id, hash_count): the PIN, or nothing when the user
//   cancelled or no prompt could be shown.
// request_sign_confirmation(origin, cert_id, hash_count): true when the user
//   confirms the signature.
template <class U>
concept UserInteraction = requires(U& interaction, std::string_view origin,
                                   std::span<const CertPurpose> purposes, std::string_view cert_id,
                                   std::size_t hash_count) {
    { interaction.request_consent(origin, purposes) } -> std::same_as<bool>;
    { interaction.request_pin(origin, cert_id, hash_count) } -> std::same_as<std::optional<Pin>>;
    { interaction.request_sign_confirmation(origin, cert_id, hash_count) } -> std::same_as<bool>;
};

// Optional: notices that stay on screen while the core waits for the user
// at the card reader, shown and closed by the core.
// begin_wait(kind, origin, hash_count): a token for the notice, or null when
//   none can be shown (then the core does not wait for the user).
// wait_cancelled(token): true once the user cancelled the notice.
// end_wait(token): closes it; the token is not used again.
template <class U>
concept ShowsWaitNotices = requires(U& interaction, WaitKind kind, std::string_view origin,
                                    std::size_t hash_count, void* token) {
    { interaction.begin_wait(kind, origin, hash_count) } -> std::same_as<void*>;
    { interaction.wait_cancelled(token) } -> std::same_as<bool>;
    interaction.end_wait(token);
};

}  // namespace tavrin
