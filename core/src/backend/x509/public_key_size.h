#pragma once
// The size of a certificate's RSA key, read straight from its DER: a
// listing needs only this of the key, and decoding the key in full (as the
// X.509 library does) would cost more than the rest of the certificate.

#include <cstdint>
#include <optional>
#include <span>

namespace tavrin {

// The modulus size in bits of the rsaEncryption key in the certificate's
// subjectPublicKeyInfo; nothing for another kind of key or bytes that do not
// have the shape of a certificate.
std::optional<std::uint32_t> rsa_modulus_bits(std::span<const std::uint8_t> certificate_der);

}  // namespace tavrin
