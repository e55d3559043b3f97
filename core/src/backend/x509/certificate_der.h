#pragma once
// A few facts read straight from a certificate's DER, where a listing needs
// nothing else: decoding the certificate (and its key, which the X.509
// library decodes eagerly) would cost more than the rest of the listing.

#include <cstdint>
#include <optional>
#include <span>

namespace tavrin {

// The modulus size in bits of the rsaEncryption key in the certificate's
// subjectPublicKeyInfo; nothing for another kind of key or bytes that do not
// have the shape of a certificate.
std::optional<std::uint32_t> rsa_modulus_bits(std::span<const std::uint8_t> certificate_der);

// Whether the issuer and subject names are the same bytes. Names that differ
// in bytes may still match by the rules of name comparison: false means
// "look closer" (ParsedCertificate::self_issued), not "not self-issued".
bool names_identical(std::span<const std::uint8_t> certificate_der);

}  // namespace tavrin
