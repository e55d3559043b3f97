#pragma once
// One signature made on a token: the calls both the PKCS#11 form and the
// identity store make for each hash.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "backend/pkcs11/pkcs11_error.h"
#include "backend/pkcs11/pkcs11_session.h"
#include "common/bytes.h"
#include "common/result.h"

namespace tavrin::pkcs11 {

// C_SignInit; then `after_init` when given (a key that wants the PIN for
// every signature gets its context-specific login there; a value other
// than CKR_OK fails the signature as a failed C_Login); then C_Sign for the
// length and C_Sign for the value, cut to the length the token reports.
// With `room`, C_Sign is asked at once into that many bytes, and for the
// length only when they do not suffice: a module may do half the signature's
// work just to say its length (SoftHSM2 loads the key for it).
Result<Bytes, Pkcs11Error> sign_once(const Session& session, CK_MECHANISM_TYPE mechanism,
                                     CK_OBJECT_HANDLE key, std::span<const std::uint8_t> data,
                                     const std::function<CK_RV()>& after_init = {},
                                     std::size_t room = 0);

// Room for every signature of the supported keys (RSA-4096: 512 bytes).
inline constexpr std::size_t kSignatureRoom = 512;

}  // namespace tavrin::pkcs11
