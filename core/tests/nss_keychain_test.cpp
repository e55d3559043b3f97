// The Keychain backend over real NSS databases made by
// fixtures/make_nss_home.sh, with every signature checked by OpenSSL.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>

#include "backend/certificate_id.h"
#include "backend/keychain/keychain_backend.h"
#include "backend/keychain/nss/nss_keychain_platform.h"
#include "support/nss_fixture.h"
#include "tests/support/signature_check.h"

namespace tavrin {
namespace {

using testing::fixture_der;
using testing::random_hashes;

KeychainBackend backend_for(const std::string& home) {
    return KeychainBackend(std::make_unique<keychain::NssKeychainPlatform>(
        keychain::NssStoreLocation{testing::nss_database(home), ""}));
}

// The sorted ids of a listing, or of the fixture certificates named.
std::vector<std::string> ids(const CertificateList& list) {
    std::vector<std::string> out;
    for (const auto& info : list)
        out.push_back(info.cert_id);
    std::sort(out.begin(), out.end());
    return out;
}
std::vector<std::string> ids(std::initializer_list<const char*> names) {
    std::vector<std::string> out;
    for (const char* name : names)
        out.push_back(certificate_id(fixture_der(name)));
    std::sort(out.begin(), out.end());
    return out;
}

TEST(NssKeychain, ListsTheIdentitiesWithAKeyAndTheirFields) {
    KeychainBackend backend = backend_for(TAVRIN_NSS_HOME);
    auto listed = backend.list_certificates(Purpose::Any);
    ASSERT_TRUE(listed) << listed.error().display();
    EXPECT_EQ(ids(listed.value()), ids({"rsa2048", "rsa4096", "p256"}));  // not "nokey"
    for (const auto& info : listed.value()) {
        EXPECT_EQ(info.cert_id, certificate_id(info.der));
        const auto expected = info.der == fixture_der("rsa4096") ? KeyAlgorithm::Rsa4096
                              : info.der == fixture_der("p256")  ? KeyAlgorithm::EcP256
                                                                 : KeyAlgorithm::Rsa2048;
        EXPECT_EQ(info.key_algorithm, expected);
    }
    EXPECT_EQ(ids(backend.list_certificates(Purpose::Sign).value()), ids({"rsa2048", "rsa4096"}));
    EXPECT_EQ(ids(backend.list_certificates(Purpose::Auth).value()), ids({"rsa2048", "p256"}));
}

TEST(NssKeychain, SignaturesVerifyWithTheCertificatesKeys) {
    KeychainBackend backend = backend_for(TAVRIN_NSS_HOME);
    ASSERT_TRUE(backend.list_certificates(Purpose::Any));
    for (const auto& [name, scheme] : {std::pair{"rsa2048", Scheme::RsaPkcs1},
                                       {"rsa4096", Scheme::RsaPkcs1},
                                       {"p256", Scheme::Ecdsa}}) {
        for (const HashAlg alg : {HashAlg::Sha256, HashAlg::Sha512}) {
            SCOPED_TRACE(std::string(name) + " " + std::string(debug_name(alg)));
            const auto hashes = random_hashes(5, alg);
            const Bytes der = fixture_der(name);
            auto signatures = backend.sign(certificate_id(der), alg, scheme, hashes, Pin());
            ASSERT_TRUE(signatures) << signatures.error().display();
            ASSERT_EQ(signatures.value().size(), hashes.size());
            const EVP_MD* md = alg == HashAlg::Sha256 ? EVP_sha256() : EVP_sha512();
            for (std::size_t i = 0; i < hashes.size(); ++i)
                EXPECT_TRUE(testing::verifies_with(der, md, hashes[i], signatures.value()[i])) << i;
        }
    }
}

TEST(NssKeychain, FailuresNameTheStepThatFailed) {
    const struct {
        std::string home;
        const char* cert;  // nullptr: the first one listed
        Scheme scheme;
        std::string expected_start;
    } cases[] = {
        {TAVRIN_NSS_HOME, "p256", Scheme::RsaPkcs1,
         "internal backend error: PK11_SignWithMechanism: "},  // a key of the wrong type
        {TAVRIN_NSS_PASSWORD_HOME, nullptr, Scheme::RsaPkcs1,
         "internal backend error: PK11_FindKeyByAnyCert: "},  // the key needs the password
        {"/nonexistent/tavrin", nullptr, Scheme::RsaPkcs1,
         "no certificates match the requested purpose"},
    };
    for (const auto& c : cases) {
        KeychainBackend backend = backend_for(c.home);
        auto listed = backend.list_certificates(Purpose::Any);
        auto outcome = listed ? backend.sign(c.cert ? certificate_id(fixture_der(c.cert))
                                                    : listed.value().at(0).cert_id,
                                             HashAlg::Sha256, c.scheme, random_hashes(1), Pin())
                              : Result<SignatureList, BackendError>(listed.error());
        ASSERT_FALSE(outcome) << c.expected_start;
        EXPECT_EQ(outcome.error().display().rfind(c.expected_start, 0), 0u)
            << outcome.error().display();
    }
}

}  // namespace
}  // namespace tavrin
