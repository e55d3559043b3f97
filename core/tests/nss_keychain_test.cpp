// The Keychain backend over real NSS databases made by
// fixtures/make_nss_home.sh, with every signature checked by OpenSSL.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <map>
#include <set>

#include "backend/certificate_id.h"
#include "support/nss_fixture.h"

namespace tavrin {
namespace {

using testing::fixture_der;
using testing::random_hashes;

KeychainBackend backend_for(const std::string& home) {
    return testing::nss_backend(home + "/.pki/nssdb");
}

TEST(NssKeychain, ListsTheIdentitiesWithAKeyAndTheirFields) {
    KeychainBackend backend = backend_for(TAVRIN_NSS_HOME);
    const std::map<std::string, KeyAlgorithm> keys{{"rsa2048", KeyAlgorithm::Rsa2048},
                                                   {"rsa4096", KeyAlgorithm::Rsa4096},
                                                   {"p256", KeyAlgorithm::EcP256}};
    // The fixture identities listed for `purpose`; never "nokey".
    const auto listed = [&](Purpose purpose) {
        const CertificateList list = backend.list_certificates(purpose).value();
        std::set<std::string> names;
        for (const auto& info : list) {
            EXPECT_EQ(info.cert_id, certificate_id(info.der));
            for (const auto& [name, algorithm] : keys) {
                if (info.der != fixture_der(name)) continue;
                names.insert(name);
                EXPECT_EQ(info.key_algorithm, algorithm) << name;
            }
        }
        EXPECT_EQ(names.size(), list.size());
        return names;
    };
    EXPECT_EQ(listed(Purpose::Any), (std::set<std::string>{"p256", "rsa2048", "rsa4096"}));
    EXPECT_EQ(listed(Purpose::Sign), (std::set<std::string>{"rsa2048", "rsa4096"}));
    EXPECT_EQ(listed(Purpose::Auth), (std::set<std::string>{"p256", "rsa2048"}));
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
        std::string expected_start;
    } cases[] = {
        {TAVRIN_NSS_HOME, "p256",
         "internal backend error: PK11_SignWithMechanism: "},  // a key of the wrong type
        {TAVRIN_NSS_PASSWORD_HOME, nullptr,
         "internal backend error: PK11_FindKeyByAnyCert: "},  // the key needs the password
        {"/nonexistent/tavrin", nullptr, "no certificates match the requested purpose"},
    };
    for (const auto& c : cases) {
        KeychainBackend backend = backend_for(c.home);
        auto listed = backend.list_certificates(Purpose::Any);
        auto outcome =
            listed ? backend.sign(c.cert ? certificate_id(fixture_der(c.cert))
                                         : listed.value().at(0).cert_id,
                                  HashAlg::Sha256, Scheme::RsaPkcs1, random_hashes(1), Pin())
                   : Result<SignatureList, BackendError>(listed.error());
        ASSERT_FALSE(outcome) << c.expected_start;
        EXPECT_EQ(outcome.error().display().rfind(c.expected_start, 0), 0u)
            << outcome.error().display();
    }
}

}  // namespace
}  // namespace tavrin
