// The Keychain backend's own logic over a scripted platform layer: the walk,
// the filter, the algorithm choice, the texts and the index.

#include <gtest/gtest.h>

#include "backend/certificate_id.h"
#include "backend/keychain/keychain_backend.h"
#include "support/nss_fixture.h"
#include "support/scripted_keychain.h"

namespace tavrin {
namespace {

using testing::fixture_der;
using testing::KeychainScript;
using testing::ScriptedIdentitySpec;

class KeychainBackendTest : public ::testing::Test {
  protected:
    // rsa2048: sign + auth; rsa4096: sign; p256: auth.
    ScriptedIdentitySpec identity(const std::string& name) {
        const std::int64_t bits = name == "rsa4096" ? 4096 : name == "p256" ? 256 : 2048;
        return {fixture_der(name), keychain::kStatusSuccess, bits, keychain::kStatusSuccess};
    }

    KeychainBackend& backend() {
        if (!backend_) {
            backend_.emplace(std::make_unique<testing::ScriptedKeychainPlatform>(script));
        }
        return *backend_;
    }

    std::string id_of(const std::string& name) { return certificate_id(fixture_der(name)); }

    Result<SignatureList, BackendError> sign(const std::string& name, std::size_t count,
                                             Scheme scheme = Scheme::RsaPkcs1,
                                             HashAlg alg = HashAlg::Sha256) {
        return backend().sign(id_of(name), alg, scheme,
                              std::vector<Bytes>(count, Bytes(digest_length(alg), 7)), Pin());
    }

    std::shared_ptr<KeychainScript> script = std::make_shared<KeychainScript>();
    std::optional<KeychainBackend> backend_;
};

TEST_F(KeychainBackendTest, FilteredCertificatesAreNeitherExaminedNorSignable) {
    ScriptedIdentitySpec broken = identity("p256");
    broken.key_size_bits.reset();  // would not matter: it is filtered out first
    script->foreign_items = 2;     // not identities: skipped
    script->identities = {broken, identity("rsa4096")};
    auto listed = backend().list_certificates(Purpose::Sign);
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed.value().size(), 1u);
    EXPECT_EQ(listed.value()[0].cert_id, id_of("rsa4096"));
    EXPECT_EQ(script->key_size_queries, std::vector<std::size_t>{1});
    EXPECT_EQ(sign("p256", 1).error(), BackendError::unknown_certificate_id());
    EXPECT_TRUE(sign("rsa4096", 1));
    script->identities = {identity("p256")};
    EXPECT_EQ(backend().list_certificates(Purpose::Sign).error(),
              BackendError::no_matching_certificates());
}

TEST_F(KeychainBackendTest, ListingFailuresAndTheirTexts) {
    const struct {
        const char* name;
        std::function<void(KeychainScript&)> arrange;
        const char* text;
    } cases[] = {
        {"nothing found",
         [](KeychainScript& s) { s.search_status = keychain::kStatusItemNotFound; },
         "no certificates match the requested purpose"},
        {"no identity", [](KeychainScript& s) { s.identities.clear(); },
         "no certificates match the requested purpose"},
        {"search refused", [](KeychainScript& s) { s.search_status = -25291; },
         "internal backend error: identity search: store unavailable"},
        {"search refused without a message", [](KeychainScript& s) { s.search_status = -1; },
         "internal backend error: identity search: error code -1"},
        {"certificate not obtainable",
         [](KeychainScript& s) { s.identities[0].certificate_status = -25291; },
         "internal backend error: SecIdentityCopyCertificate: store unavailable"},
        {"purposes do not parse",
         [](KeychainScript& s) {
             s.identities[0].der = {0x30, 0x03, 0x02, 0x01, 0x01};
         },
         "internal backend error: parse certificate: "},
        {"no key size for RSA", [](KeychainScript& s) { s.identities[0].key_size_bits.reset(); },
         "mechanism unsupported: failed to parse certificate: RSA key: modulus size not "
         "supplied by caller"},
        {"unsupported RSA size", [](KeychainScript& s) { s.identities[0].key_size_bits = 3072; },
         "mechanism unsupported: failed to parse certificate: unsupported RSA modulus size: "
         "3072 bits"},
        {"key size taken from its low 32 bits",
         [](KeychainScript& s) { s.identities[0].key_size_bits = (std::int64_t{1} << 32) + 1024; },
         "mechanism unsupported: failed to parse certificate: unsupported RSA modulus size: "
         "1024 bits"},
    };
    for (const auto& c : cases) {
        script = std::make_shared<KeychainScript>();
        script->messages[-25291] = "store unavailable";
        script->identities = {identity("rsa2048")};
        c.arrange(*script);
        backend_.reset();
        auto listed = backend().list_certificates(Purpose::Any);
        ASSERT_FALSE(listed) << c.name;
        EXPECT_EQ(listed.error().display().rfind(c.text, 0), 0u)
            << c.name << ": " << listed.error().display();
    }
}

TEST_F(KeychainBackendTest, AFailingIdentityFailsTheListingButKeepsEarlierEntries) {
    ScriptedIdentitySpec broken = identity("rsa4096");
    broken.certificate_status = -5;
    script->identities = {identity("rsa2048"), broken, identity("p256")};
    EXPECT_FALSE(backend().list_certificates(Purpose::Any));
    EXPECT_TRUE(sign("rsa2048", 1));
    EXPECT_EQ(sign("p256", 1).error(), BackendError::unknown_certificate_id());
}

TEST_F(KeychainBackendTest, TheSameCertificateTwiceKeepsTheIdentitySeenLast) {
    ScriptedIdentitySpec second = identity("rsa2048");
    second.private_key_status = -7;  // lets the test tell the two identities apart
    script->identities = {identity("rsa2048"), second};
    auto listed = backend().list_certificates(Purpose::Any);
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed.value().size(), 2u);
    EXPECT_EQ(listed.value()[0].cert_id, listed.value()[1].cert_id);
    EXPECT_EQ(script->live_references, 1);  // the first identity was released
    EXPECT_EQ(sign("rsa2048", 1).error().display(),
              "internal backend error: SecIdentityCopyPrivateKey: error code -7");
    EXPECT_EQ(script->private_key_copies, std::vector<std::size_t>{1});
}

TEST_F(KeychainBackendTest, SignRefusalsInOrder) {
    script->identities = {identity("rsa2048"), identity("rsa4096")};
    script->identities[1].private_key_status = -25291;
    script->messages[-25291] = "key locked";
    ASSERT_TRUE(backend().list_certificates(Purpose::Any));

    // A wrong hash length is found before the key is touched.
    auto short_hash = backend().sign(id_of("rsa2048"), HashAlg::Sha256, Scheme::RsaPss,
                                     {Bytes(32), Bytes(31)}, Pin());
    EXPECT_EQ(short_hash.error().display(),
              "internal backend error: hash length 31 does not match Sha256");
    EXPECT_TRUE(script->private_key_copies.empty());

    // rsa-pss is refused after the key was obtained, so a missing key wins.
    EXPECT_EQ(sign("rsa2048", 1, Scheme::RsaPss).error().display(),
              "mechanism unsupported: rsa-pss (phase 2)");
    EXPECT_EQ(sign("rsa4096", 1, Scheme::RsaPss).error().display(),
              "internal backend error: SecIdentityCopyPrivateKey: key locked");

    // No hashes: nothing to sign, once identity and key are found.
    auto none = sign("rsa2048", 0);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none.value().empty());

    // One refused signature fails the whole batch.
    script->fail_signature_number = 3;
    EXPECT_EQ(sign("rsa2048", 5).error().display(),
              "internal backend error: SecKeyCreateSignature: signature 3 refused");
    EXPECT_EQ(script->signature_algorithms.size(), 3u);
}

TEST_F(KeychainBackendTest, ReleasesEveryReferenceWithTheBackend) {
    script->identities = {identity("rsa2048"), identity("p256")};
    ASSERT_TRUE(backend().list_certificates(Purpose::Any));
    ASSERT_TRUE(sign("p256", 2, Scheme::Ecdsa));
    EXPECT_EQ(script->live_references, 2);  // the two identities in the index
    backend_.reset();
    EXPECT_EQ(script->live_references, 0);
}

}  // namespace
}  // namespace tavrin
