// The Keychain backend over real NSS databases made by
// fixtures/make_nss_home.sh, with every signature checked by OpenSSL.

#include <gtest/gtest.h>

#include <openssl/rand.h>

#include "backend/certificate_id.h"
#include "backend/keychain/keychain_backend.h"
#include "backend/keychain/nss/nss_keychain_platform.h"
#include "support/nss_fixture.h"

namespace tavrin {
namespace {

using testing::fixture_der;
using testing::nss_database;

KeychainBackend backend_for(const std::string& database) {
    return KeychainBackend(std::make_unique<keychain::NssKeychainPlatform>(
        keychain::NssStoreLocation{database, ""}));
}

std::vector<Bytes> random_hashes(std::size_t count, HashAlg alg) {
    std::vector<Bytes> hashes(count, Bytes(digest_length(alg)));
    for (auto& hash : hashes)
        RAND_bytes(hash.data(), static_cast<int>(hash.size()));
    return hashes;
}

std::vector<std::string> ids(const CertificateList& list) {
    std::vector<std::string> out;
    for (const auto& info : list)
        out.push_back(info.cert_id);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> ids_of(std::vector<std::string> names) {
    std::vector<std::string> out;
    for (const auto& name : names)
        out.push_back(certificate_id(fixture_der(name)));
    std::sort(out.begin(), out.end());
    return out;
}

TEST(NssKeychain, ListsTheIdentitiesWithAKeyAndTheirFields) {
    KeychainBackend backend = backend_for(nss_database(testing::nss_home()));
    auto listed = backend.list_certificates(Purpose::Any);
    ASSERT_TRUE(listed) << listed.error().display();
    EXPECT_EQ(ids(listed.value()), ids_of({"rsa2048", "rsa4096", "p256"}));  // not "nokey"
    for (const auto& info : listed.value()) {
        EXPECT_EQ(info.cert_id, certificate_id(info.der));
        if (info.der == fixture_der("rsa4096")) {
            EXPECT_EQ(info.key_algorithm, KeyAlgorithm::Rsa4096);
            EXPECT_EQ(info.purposes, std::vector<CertPurpose>{CertPurpose::Sign});
        } else if (info.der == fixture_der("p256")) {
            EXPECT_EQ(info.key_algorithm, KeyAlgorithm::EcP256);
            EXPECT_EQ(info.purposes, std::vector<CertPurpose>{CertPurpose::Auth});
        } else {
            EXPECT_EQ(info.key_algorithm, KeyAlgorithm::Rsa2048);
        }
    }
    EXPECT_EQ(ids(backend.list_certificates(Purpose::Sign).value()),
              ids_of({"rsa2048", "rsa4096"}));
    EXPECT_EQ(ids(backend.list_certificates(Purpose::Auth).value()), ids_of({"rsa2048", "p256"}));
}

TEST(NssKeychain, SignaturesVerifyWithTheCertificatesKeys) {
    KeychainBackend backend = backend_for(nss_database(testing::nss_home()));
    ASSERT_TRUE(backend.list_certificates(Purpose::Any));
    const struct {
        const char* name;
        Scheme scheme;
    } keys[] = {
        {"rsa2048", Scheme::RsaPkcs1}, {"rsa4096", Scheme::RsaPkcs1}, {"p256", Scheme::Ecdsa}};
    for (const auto& key : keys) {
        for (const HashAlg alg : {HashAlg::Sha256, HashAlg::Sha512}) {
            const auto hashes = random_hashes(5, alg);
            auto signatures =
                backend.sign(certificate_id(fixture_der(key.name)), alg, key.scheme, hashes, Pin());
            ASSERT_TRUE(signatures) << key.name << ": " << signatures.error().display();
            ASSERT_EQ(signatures.value().size(), hashes.size());
            for (std::size_t i = 0; i < hashes.size(); ++i) {
                EXPECT_TRUE(
                    testing::verifies(key.name, alg, key.scheme, hashes[i], signatures.value()[i]))
                    << key.name << " " << debug_name(alg) << " #" << i;
            }
        }
    }
}

TEST(NssKeychain, AKeyOfTheWrongTypeFailsInThePlatformSignature) {
    KeychainBackend backend = backend_for(nss_database(testing::nss_home()));
    ASSERT_TRUE(backend.list_certificates(Purpose::Any));
    auto signatures = backend.sign(certificate_id(fixture_der("p256")), HashAlg::Sha256,
                                   Scheme::RsaPkcs1, random_hashes(1, HashAlg::Sha256), Pin());
    ASSERT_FALSE(signatures);
    EXPECT_EQ(
        signatures.error().display().rfind("internal backend error: PK11_SignWithMechanism: ", 0),
        0u)
        << signatures.error().display();
}

TEST(NssKeychain, APasswordProtectedKeyCannotBeObtained) {
    KeychainBackend backend = backend_for(nss_database(testing::nss_password_home()));
    auto listed = backend.list_certificates(Purpose::Any);
    ASSERT_TRUE(listed) << listed.error().display();
    auto signatures = backend.sign(listed.value()[0].cert_id, HashAlg::Sha256, Scheme::RsaPkcs1,
                                   random_hashes(1, HashAlg::Sha256), Pin());
    ASSERT_FALSE(signatures);
    EXPECT_EQ(signatures.error().display().rfind(
                  "internal backend error: PK11_FindKeyByAnyCert: ", 0),
              0u)
        << signatures.error().display();
}

TEST(NssKeychain, AMissingDatabaseHoldsNoIdentities) {
    KeychainBackend backend = backend_for("/nonexistent/tavrin/.pki/nssdb");
    EXPECT_EQ(backend.list_certificates(Purpose::Any).error().display(),
              "no certificates match the requested purpose");
}

}  // namespace
}  // namespace tavrin
