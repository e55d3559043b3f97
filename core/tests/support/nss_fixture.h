#pragma once
// The NSS homes made by fixtures/make_nss_home.sh before the tests run (see
// CMakeLists.txt): one with an open database, one with a password-protected
// one, and the certificates of their identities.

#include <openssl/rand.h>

#include <memory>
#include <string>
#include <vector>

#include "backend/keychain/keychain_backend.h"
#include "backend/keychain/nss/nss_keychain_platform.h"
#include "tests/support/signature_check.h"

namespace tavrin::testing {

// The DER of fixture certificate `name` (rsa2048, rsa4096, p256, nokey).
inline Bytes fixture_der(const std::string& name) {
    return pem_certificate(std::string(TAVRIN_NSS_HOME) + "/fixtures/" + name + ".pem");
}

// The identity store over the NSS database in `folder`, and p11-kit's
// proxy module `proxy` unless it is empty.
inline KeychainBackend nss_backend(const std::string& folder, const std::string& proxy = "") {
    return KeychainBackend(
        std::make_unique<keychain::NssKeychainPlatform>(keychain::NssStoreLocation{folder, proxy}));
}

// `count` random hashes of the length `alg` gives.
inline std::vector<Bytes> random_hashes(std::size_t count, HashAlg alg = HashAlg::Sha256) {
    std::vector<Bytes> hashes(count, Bytes(digest_length(alg)));
    for (auto& hash : hashes)
        RAND_bytes(hash.data(), static_cast<int>(hash.size()));
    return hashes;
}

}  // namespace tavrin::testing
