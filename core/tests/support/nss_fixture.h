#pragma once
// The NSS homes made by fixtures/make_nss_home.sh before the tests run (see
// CMakeLists.txt): one with an open database, one with a password-protected
// one, and the certificates of their identities.

#include <string>

#include "common/bytes.h"
#include "protocol/enums.h"

namespace tavrin::testing {

inline std::string nss_database(const std::string& home) {
    return home + "/.pki/nssdb";
}

// The DER of fixture certificate `name` (rsa2048, rsa4096, p256, nokey).
Bytes fixture_der(const std::string& name);

// `count` random hashes of the length `alg` gives.
std::vector<Bytes> random_hashes(std::size_t count, HashAlg alg = HashAlg::Sha256);

}  // namespace tavrin::testing
