#pragma once
// What the dispatcher needs of a token backend. A backend lists the
// certificates it can sign with, remembers which key belongs to each one it
// listed, and signs a batch of hashes with the key of one listed certificate.

#include <concepts>
#include <cstdint>
#include <string_view>
#include <vector>

#include "backend/backend_error.h"
#include "common/pin.h"
#include "common/bytes.h"
#include "common/result.h"
#include "protocol/enums.h"
#include "protocol/records.h"

namespace tavrin {

using CertificateList = std::vector<CertificateInfo>;
using SignatureList = std::vector<Bytes>;

// list_certificates(purpose): a non-empty list of the certificates whose
//   purposes satisfy the filter, each entered into the backend's index, or
//   NoMatchingCertificates when none does.
// sign(cert_id, hash_alg, scheme, hashes, pin): one signature per hash, in
//   order, all or nothing. An id this instance never listed fails with
//   UnknownCertificateId before the device is touched; a hash whose length
//   does not match hash_alg fails with Internal.
// requires_pin: true when the user's PIN is the approval (the dispatcher asks
//   for it), false when the dispatcher asks for a confirmation and passes an
//   empty PIN.
template <class B>
concept TokenBackend = requires(B& backend, Purpose purpose, std::string_view cert_id,
                                HashAlg hash_alg, Scheme scheme, const std::vector<Bytes>& hashes,
                                const Pin& pin) {
    { B::requires_pin } -> std::convertible_to<bool>;
    { backend.list_certificates(purpose) } -> std::same_as<Result<CertificateList, BackendError>>;
    {
        backend.sign(cert_id, hash_alg, scheme, hashes, pin)
        } -> std::same_as<Result<SignatureList, BackendError>>;
};

// What signing with a key needs from the user besides the confirmation of a
// backend that is approved by one: nothing, the PIN typed here, or the PIN
// entered on the card reader's own keypad; or first of all the card that
// holds the key, which is not in its reader.
enum class KeyApproval : std::uint8_t { None, TypedPin, PinPad, InsertCard };

// Whether a certificate with `purposes` passes a listing filter: sign and
// auth need that purpose, any keeps every certificate (even one without).
bool satisfies(Purpose filter, const std::vector<CertPurpose>& purposes);

// The text of a hash whose length does not fit its algorithm, shared by the
// backends: "hash length 31 does not match Sha256".
std::string hash_length_mismatch(std::size_t length, HashAlg alg);

}  // namespace tavrin
