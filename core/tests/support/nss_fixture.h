#pragma once
// The NSS homes made by fixtures/make_nss_home.sh before the tests run (see
// CMakeLists.txt): one with an open database, one with a password-protected
// one, and the certificates of their identities.

#include <string>

#include "common/bytes.h"
#include "tests/support/signature_check.h"

namespace tavrin::testing {

// The DER of fixture certificate `name` (rsa2048, rsa4096, p256, nokey).
inline Bytes fixture_der(const std::string& name) {
    return pem_certificate(std::string(TAVRIN_NSS_HOME) + "/fixtures/" + name + ".pem");
}

}  // namespace tavrin::testing
