// The Keychain backend's own logic over a scripted platform layer: the walk,
// the filter, the texts and the index.

#include <gtest/gtest.h>

#include "backend/certificate_id.h"
#include "backend/keychain/keychain_backend.h"
#include "support/nss_fixture.h"

namespace tavrin {
namespace {

using testing::fixture_der;

struct ScriptedIdentity {
    Bytes der;
    std::optional<std::int64_t> key_size_bits;
    keychain::Status certificate_status = keychain::kStatusSuccess;
    keychain::Status private_key_status = keychain::kStatusSuccess;
};

// What the platform answers, and what the backend asked of it.
struct KeychainScript {
    keychain::Status search_status = keychain::kStatusSuccess;
    bool foreign_item = false;  // an item that is not an identity, before the identities
    std::vector<ScriptedIdentity> identities;
    int fail_signature_number = 0;  // 1-based call that fails; 0: none

    std::vector<std::size_t> key_size_queries;    // identity index
    std::vector<std::size_t> private_key_copies;  // identity index
    int signatures = 0;
};

// An identity, its certificate or its key: the index of the identity in the script.
struct Scripted final : keychain::Identity, keychain::Certificate, keychain::PrivateKey {
    explicit Scripted(std::size_t i) : index(i) {}
    const std::size_t index;
};
std::size_t index_of(const auto& object) {
    return dynamic_cast<const Scripted&>(object).index;
}

class ScriptedPlatform final : public keychain::KeychainPlatform {
  public:
    explicit ScriptedPlatform(std::shared_ptr<KeychainScript> script) : s_(std::move(script)) {}

    keychain::SearchResult copy_matching_identities(
        const std::vector<std::shared_ptr<keychain::Keychain>>*) override {
        keychain::SearchResult result{s_->search_status, {}};
        if (result.status != keychain::kStatusSuccess) return result;
        if (s_->foreign_item) result.items.push_back(std::make_shared<keychain::Item>());
        for (std::size_t i = 0; i < s_->identities.size(); ++i)
            result.items.push_back(std::make_shared<Scripted>(i));
        return result;
    }
    keychain::Copied<keychain::Certificate> copy_certificate(
        const keychain::Identity& identity) override {
        const auto index = index_of(identity);
        const auto status = s_->identities[index].certificate_status;
        if (status != keychain::kStatusSuccess) return {status, nullptr};
        return {status, std::make_shared<Scripted>(index)};
    }
    Bytes certificate_data(const keychain::Certificate& certificate) override {
        return s_->identities[index_of(certificate)].der;
    }
    std::optional<std::int64_t> public_key_size_bits(
        const keychain::Certificate& certificate) override {
        s_->key_size_queries.push_back(index_of(certificate));
        return s_->identities[index_of(certificate)].key_size_bits;
    }
    keychain::Copied<keychain::PrivateKey> copy_private_key(
        const keychain::Identity& identity) override {
        const auto index = index_of(identity);
        s_->private_key_copies.push_back(index);
        const auto status = s_->identities[index].private_key_status;
        if (status != keychain::kStatusSuccess) return {status, nullptr};
        return {status, std::make_shared<Scripted>(index)};
    }
    keychain::SignatureResult create_signature(const keychain::PrivateKey&,
                                               keychain::SignatureAlgorithm,
                                               std::span<const std::uint8_t> digest) override {
        if (++s_->signatures == s_->fail_signature_number) {
            return {std::nullopt, std::make_shared<keychain::SignatureError>(), std::nullopt};
        }
        return {Bytes(digest.begin(), digest.end()), nullptr, std::nullopt};
    }
    std::optional<std::string> error_message(keychain::Status status) override {
        if (status == -25291) return "store unavailable";
        return std::nullopt;
    }
    std::string error_description(const keychain::SignatureError&) override {
        return "signature " + std::to_string(s_->signatures) + " refused";
    }

  private:
    std::shared_ptr<KeychainScript> s_;
};

class KeychainBackendTest : public ::testing::Test {
  protected:
    // rsa2048: sign + auth; rsa4096: sign; p256: auth.
    static ScriptedIdentity identity(const std::string& name) {
        return {fixture_der(name), name == "rsa4096" ? 4096 : name == "p256" ? 256 : 2048};
    }

    KeychainBackend& backend() {
        if (!backend_) backend_.emplace(std::make_unique<ScriptedPlatform>(script));
        return *backend_;
    }

    static std::string id_of(const std::string& name) { return certificate_id(fixture_der(name)); }

    Result<SignatureList, BackendError> sign(const std::string& name, std::size_t count,
                                             Scheme scheme = Scheme::RsaPkcs1) {
        return backend().sign(id_of(name), HashAlg::Sha256, scheme,
                              std::vector<Bytes>(count, Bytes(32, 7)), Pin());
    }

    std::shared_ptr<KeychainScript> script = std::make_shared<KeychainScript>();
    std::optional<KeychainBackend> backend_;
};

TEST_F(KeychainBackendTest, FilteredCertificatesAreNeitherExaminedNorSignable) {
    ScriptedIdentity broken = identity("p256");
    broken.key_size_bits.reset();  // would not matter: it is filtered out first
    script->foreign_item = true;   // skipped
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
    const std::string unsupported = "mechanism unsupported: failed to parse certificate: ";
    const struct {
        keychain::Status search_status;
        keychain::Status certificate_status;
        std::optional<std::int64_t> key_size_bits;  // of the one RSA identity
        Bytes der;                                  // empty: its certificate
        std::string text;
    } cases[] = {
        {keychain::kStatusItemNotFound, 0, 2048, {}, "no certificates match the requested purpose"},
        {-25291, 0, 2048, {}, "internal backend error: identity search: store unavailable"},
        {-1, 0, 2048, {}, "internal backend error: identity search: error code -1"},
        {0,
         -25291,
         2048,
         {},
         "internal backend error: copy certificate: store unavailable"},
        {0, 0, 2048, {0x30, 0x03, 0x02, 0x01, 0x01}, "internal backend error: parse certificate: "},
        {0, 0, {}, {}, unsupported + "RSA key: modulus size not supplied by caller"},
        {0, 0, 3072, {}, unsupported + "unsupported RSA modulus size: 3072 bits"},
        // The size is taken from its low 32 bits.
        {0,
         0,
         (std::int64_t{1} << 32) + 1024,
         {},
         unsupported + "unsupported RSA modulus size: 1024 bits"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        script = std::make_shared<KeychainScript>();
        script->search_status = c.search_status;
        script->identities = {{c.der.empty() ? fixture_der("rsa2048") : c.der, c.key_size_bits,
                               c.certificate_status}};
        backend_.reset();
        auto listed = backend().list_certificates(Purpose::Any);
        ASSERT_FALSE(listed);
        EXPECT_EQ(listed.error().display().rfind(c.text, 0), 0u) << listed.error().display();
    }
}

TEST_F(KeychainBackendTest, TheSameCertificateTwiceKeepsTheIdentitySeenLast) {
    ScriptedIdentity second = identity("rsa2048");
    second.private_key_status = -7;  // lets the test tell the two identities apart
    script->identities = {identity("rsa2048"), second};
    auto listed = backend().list_certificates(Purpose::Any);
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed.value().size(), 2u);
    EXPECT_EQ(listed.value()[0].cert_id, listed.value()[1].cert_id);
    EXPECT_EQ(sign("rsa2048", 1).error().display(),
              "internal backend error: find private key: error code -7");
    EXPECT_EQ(script->private_key_copies, std::vector<std::size_t>{1});
}

TEST_F(KeychainBackendTest, SignRefusalsInOrder) {
    script->identities = {identity("rsa2048"), identity("rsa4096")};
    script->identities[1].private_key_status = -25291;
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
              "internal backend error: find private key: store unavailable");

    // One refused signature fails the whole batch.
    script->fail_signature_number = 3;
    EXPECT_EQ(sign("rsa2048", 5).error().display(),
              "internal backend error: create signature: signature 3 refused");
    EXPECT_EQ(script->signatures, 3);
}

}  // namespace
}  // namespace tavrin
