#pragma once
// Checks, with OpenSSL, what the bridge answered against the test identities'
// certificates (PEM files written by the NSS fixture script).

#include <filesystem>
#include <string>
#include <vector>

namespace tavrin::host::testing {

// The certificate's identifier as the bridge computes it: SHA-256 of the DER,
// 64 lower-case hexadecimal digits. Throws std::runtime_error for a file that
// holds no certificate.
std::string certificateId(const std::filesystem::path& pem);

// "" when `signature` is a valid signature over `hash` (SHA-256) by the key of
// the certificate in `pem`: PKCS#1 v1.5 for RSA, DER-encoded ECDSA for EC.
// Otherwise what failed, with OpenSSL's reason.
std::string verifySignature(const std::filesystem::path& pem,
                            const std::vector<unsigned char>& hash,
                            const std::vector<unsigned char>& signature);

}  // namespace tavrin::host::testing

namespace tavrin::host::testing {

std::string toBase64(const std::vector<unsigned char>& bytes);
// Throws std::runtime_error for text that is not Base64.
std::vector<unsigned char> fromBase64(const std::string& text);

std::vector<unsigned char> sha256(const std::string& data);

}  // namespace tavrin::host::testing
