#pragma once
// The NSS home made by fixtures/make_nss_home.sh before the tests run (see
// CMakeLists.txt): its database, its certificates, and signature checks
// against their public keys with OpenSSL.

#include <string>

#include "common/bytes.h"
#include "protocol/enums.h"

namespace tavrin::testing {

// The home folder with the open database, or with the password-protected one.
std::string nss_home();
std::string nss_password_home();
inline std::string nss_database(const std::string& home) {
    return home + "/.pki/nssdb";
}

// The DER of fixture certificate `name` (rsa2048, rsa4096, p256, nokey).
Bytes fixture_der(const std::string& name);

// Whether `signature` is a valid signature of `hash` by the key of fixture
// certificate `name`: RSA PKCS#1 v1.5 over the DigestInfo, or DER ECDSA.
bool verifies(const std::string& name, HashAlg hash_alg, Scheme scheme, const Bytes& hash,
              const Bytes& signature);

}  // namespace tavrin::testing
