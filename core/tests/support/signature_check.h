#pragma once
// Signature checks with OpenSSL against the public key of a certificate.

#include <cstdint>
#include <span>

#include <openssl/types.h>

namespace tavrin::testing {

// Whether `signature` is a signature of `hash` by the key of the certificate
// `der`: RSA PKCS#1 v1.5 over the DigestInfo of `md` for an RSA key, a DER
// ECDSA signature for an EC key.
bool verifies_with(std::span<const std::uint8_t> der, const EVP_MD* md,
                   std::span<const std::uint8_t> hash, std::span<const std::uint8_t> signature);

}  // namespace tavrin::testing
