#pragma once
// Checks, with OpenSSL, what the bridge signed against test certificates.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include <openssl/types.h>

namespace tavrin::testing {

// Whether `signature` is a signature of `hash` by the key of the certificate
// `der`: RSA PKCS#1 v1.5 over the DigestInfo of `md` for an RSA key, a DER
// ECDSA signature for an EC key.
bool verifies_with(std::span<const std::uint8_t> der, const EVP_MD* md,
                   std::span<const std::uint8_t> hash, std::span<const std::uint8_t> signature);

// The DER of the certificate in a PEM file; throws std::runtime_error when the
// file holds none.
std::vector<std::uint8_t> pem_certificate(const std::filesystem::path& pem);

std::vector<std::uint8_t> sha256(const std::string& data);
std::string to_base64(std::span<const std::uint8_t> bytes);
// Throws std::runtime_error for text that is not Base64.
std::vector<std::uint8_t> from_base64(const std::string& text);

}  // namespace tavrin::testing
