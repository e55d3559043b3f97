// Smart cards and tokens seen through the identity store: SoftHSM2 tokens
// reached the ways a user's browser reaches a card (a module registered in
// the NSS database, or registered with p11-kit), listed without a PIN and
// signed with one login. The forwarding test module counts the logins and
// fakes what SoftHSM2 cannot do (a final try, a locked PIN, a key that wants
// the PIN for every signature). Every signature is checked with OpenSSL.

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>

#include "backend/certificate_id.h"
#include "backend/keychain/keychain_backend.h"
#include "backend/keychain/nss/nss_keychain_platform.h"
#include "support/softhsm_token.h"
#include "tests/support/signature_check.h"
#include "tests/support/temp_dir.h"

namespace tavrin {
namespace {

using testing::read_file;

enum class Registration { Database, P11Kit, Both };

// An NSS database in a scratch folder and the fixture tokens "main" and
// "chain"; the forwarding module is registered in the database unless the
// tokens are to be reached through p11-kit only.
class TokenStore {
  public:
    explicit TokenStore(Registration how, const char* fakes = "") : how_(how) {
        setenv("TAVRIN_FORWARD_FAKE", fakes, 1);
        setenv("TAVRIN_FORWARD_LOG", dir_.file("logins").c_str(), 1);
        const std::string db = "sql:" + database();
        std::filesystem::create_directories(database());
        run("certutil -N -d " + db + " --empty-password");
        if (how != Registration::P11Kit) {
            run("modutil -force -dbdir " + db + " -add 'Test card' -libfile " +
                TAVRIN_FORWARDING_MODULE);
        }
    }
    ~TokenStore() {
        unsetenv("TAVRIN_FORWARD_FAKE");
        unsetenv("TAVRIN_FORWARD_LOG");
    }

    std::string database() const { return dir_.file("nssdb"); }

    KeychainBackend backend() const {
        const bool proxy = how_ != Registration::Database;
        return KeychainBackend(std::make_unique<keychain::NssKeychainPlatform>(
            keychain::NssStoreLocation{database(), proxy ? TAVRIN_P11KIT_PROXY : ""}));
    }

    // The logins the forwarding module saw, one "user <rv>" or
    // "context <rv>" each.
    std::vector<std::string> logins() const {
        std::vector<std::string> lines;
        std::ifstream in(dir_.file("logins"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

  private:
    static void run(const std::string& command) {
        ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
    }

    Registration how_;
    testing::TempDir dir_;
    testing::SoftHsmTokens tokens_{"main", "chain"};
};

Bytes chain_der(const std::string& name) {
    const std::string text =
        read_file(std::string(TAVRIN_SOFTHSM_TOKENS) + "/chain-certs/" + name + ".der");
    return Bytes(text.begin(), text.end());
}

std::vector<Bytes> random_hashes(std::size_t count) {
    std::vector<Bytes> hashes(count, Bytes(32));
    for (auto& hash : hashes)
        RAND_bytes(hash.data(), static_cast<int>(hash.size()));
    return hashes;
}

bool needs_pin(KeychainBackend& backend, const std::string& cert_id) {
    const auto needed = backend.key_approval(cert_id);
    return needed && needed.value() == KeyApproval::TypedPin;
}

const CertificateInfo* find(const CertificateList& list, KeyAlgorithm algorithm,
                            const std::string& label) {
    for (const auto& info : list) {
        if (info.key_algorithm == algorithm && info.token_label == label) return &info;
    }
    return nullptr;
}

TEST(NssToken, TokenIdentitiesAreListedOnceHoweverTheModuleIsRegistered) {
    for (const Registration how :
         {Registration::Database, Registration::P11Kit, Registration::Both}) {
        SCOPED_TRACE(static_cast<int>(how));
        const TokenStore store(how);
        KeychainBackend backend = store.backend();
        auto listed = backend.list_certificates(Purpose::Any);
        ASSERT_TRUE(listed) << listed.error().display();
        std::map<std::string, int> seen;
        for (const auto& info : listed.value())
            ++seen[info.cert_id];
        // main: rsa2048, rsa4096, p256, bp256; chain: two identities; the
        // CA certificates have no key.
        EXPECT_EQ(seen.size(), 6u);
        for (const auto& [id, count] : seen)
            EXPECT_EQ(count, 1) << id;
        EXPECT_NE(find(listed.value(), KeyAlgorithm::EcBrainpoolP256r1, "main"), nullptr);
        EXPECT_TRUE(store.logins().empty()) << "a listing never logs in";
    }
}

TEST(NssToken, AModuleThatDoesNotLoadIsNamedAndTheOthersStillList) {
    const TokenStore store(Registration::Database);
    std::ofstream(store.database() + "/pkcs11.txt", std::ios::app)
        << "\nlibrary=/nonexistent/libmissing.so\nname=Broken card\n";
    KeychainBackend backend = store.backend();
    ::testing::internal::CaptureStderr();
    auto listed = backend.list_certificates(Purpose::Any);
    const std::string diagnostics = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(listed) << listed.error().display();
    EXPECT_EQ(listed.value().size(), 6u);
    EXPECT_EQ(diagnostics,
              "tavrin-bridge: token module \"Broken card\" (/nonexistent/libmissing.so) was not "
              "loaded: /nonexistent/libmissing.so: cannot open shared object file: No such file "
              "or directory\n");
}

TEST(NssToken, CertificatesCarryTheirTokenChainAndQualification) {
    const TokenStore store(Registration::Database);
    KeychainBackend backend = store.backend();
    auto listed = backend.list_certificates(Purpose::Sign);
    ASSERT_TRUE(listed) << listed.error().display();
    const auto id = [](const std::string& name) { return certificate_id(chain_der(name)); };
    int checked = 0;
    for (const auto& info : listed.value()) {
        EXPECT_TRUE(info.token_label == "main" || info.token_label == "chain");
        if (info.cert_id == id("qualified")) {
            EXPECT_EQ(info.chain,
                      (std::vector<Bytes>{chain_der("intermediate"), chain_der("root")}));
            EXPECT_EQ(info.qualified, true);
            ++checked;
        } else if (info.cert_id == id("unqualified")) {
            EXPECT_EQ(info.chain, std::vector<Bytes>{chain_der("root")});
            EXPECT_EQ(info.qualified, false);
            ++checked;
        } else {
            EXPECT_TRUE(info.chain.empty());  // self-signed
            EXPECT_EQ(info.qualified, false);
        }
    }
    EXPECT_EQ(checked, 2);
}

TEST(NssToken, OneLoginSignsTheWholeBatchAndEveryRequestLogsInAgain) {
    const TokenStore store(Registration::Database);
    KeychainBackend backend = store.backend();
    auto listed = backend.list_certificates(Purpose::Any);
    ASSERT_TRUE(listed) << listed.error().display();
    const Pin pin(testing::kTokenPin);
    const struct {
        KeyAlgorithm algorithm;
        Scheme scheme;
        std::size_t count;
    } cases[] = {{KeyAlgorithm::Rsa2048, Scheme::RsaPkcs1, 50},
                 {KeyAlgorithm::EcP256, Scheme::Ecdsa, 2},
                 {KeyAlgorithm::EcBrainpoolP256r1, Scheme::Ecdsa, 2}};
    for (const auto& c : cases) {
        const CertificateInfo* info = find(listed.value(), c.algorithm, "main");
        ASSERT_NE(info, nullptr);
        ASSERT_TRUE(needs_pin(backend, info->cert_id));
        const auto hashes = random_hashes(c.count);
        auto signatures = backend.sign(info->cert_id, HashAlg::Sha256, c.scheme, hashes, pin);
        ASSERT_TRUE(signatures) << signatures.error().display();
        ASSERT_EQ(signatures.value().size(), hashes.size());
        for (std::size_t i = 0; i < hashes.size(); ++i) {
            EXPECT_TRUE(
                testing::verifies_with(info->der, EVP_sha256(), hashes[i], signatures.value()[i]));
        }
        // Logged out again: the next request needs the PIN again.
        EXPECT_TRUE(needs_pin(backend, info->cert_id));
    }
    EXPECT_EQ(store.logins(), std::vector<std::string>(3, "user 0"));
}

TEST(NssToken, ARefusedPinCostsOneTryAndSignsNothing) {
    const struct {
        const char* fakes;
        const char* pin;
        std::string error;
        std::optional<std::uint32_t> retries;
    } cases[] = {
        {"", "0000", "PIN incorrect", std::nullopt},
        {"final-try", "0000", "PIN incorrect", 1},
        {"locked", "1234", "PIN blocked", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fakes);
        const TokenStore store(Registration::Database, c.fakes);
        KeychainBackend backend = store.backend();
        auto listed = backend.list_certificates(Purpose::Sign);
        ASSERT_TRUE(listed) << listed.error().display();
        const CertificateInfo* info = find(listed.value(), KeyAlgorithm::Rsa2048, "main");
        ASSERT_NE(info, nullptr);
        auto signatures = backend.sign(info->cert_id, HashAlg::Sha256, Scheme::RsaPkcs1,
                                       random_hashes(1), Pin(c.pin));
        ASSERT_FALSE(signatures);
        EXPECT_EQ(signatures.error().display(), c.error);
        EXPECT_EQ(signatures.error().retries_left(), c.retries);
        EXPECT_EQ(store.logins().size(), 1u) << "exactly one login attempt";
    }
}

TEST(NssToken, AKeyThatWantsThePinPerSignatureGetsTheOneTypedForTheRequest) {
    const TokenStore store(Registration::Database, "always-auth");
    KeychainBackend backend = store.backend();
    auto listed = backend.list_certificates(Purpose::Sign);
    ASSERT_TRUE(listed) << listed.error().display();
    const CertificateInfo* info = find(listed.value(), KeyAlgorithm::Rsa2048, "main");
    ASSERT_NE(info, nullptr);
    const auto hashes = random_hashes(3);
    auto signatures = backend.sign(info->cert_id, HashAlg::Sha256, Scheme::RsaPkcs1, hashes,
                                   Pin(testing::kTokenPin));
    ASSERT_TRUE(signatures) << signatures.error().display();
    for (std::size_t i = 0; i < hashes.size(); ++i) {
        EXPECT_TRUE(
            testing::verifies_with(info->der, EVP_sha256(), hashes[i], signatures.value()[i]));
    }
    EXPECT_EQ(store.logins(),
              (std::vector<std::string>{"user 0", "context 0", "context 0", "context 0"}));
}

TEST(NssToken, AReaderWithAKeypadTakesThePinItselfOnceLoggedInWithout) {
    const struct {
        const char* at_pad;
        std::string error;  // "" for signatures
    } cases[] = {
        {"1234", ""},
        {"0000", "PIN incorrect"},
        {"cancel", "the PIN entry on the card reader was cancelled or timed out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at_pad);
        setenv("TAVRIN_FORWARD_PAD_PIN", c.at_pad, 1);
        setenv("TAVRIN_FORWARD_PAD_DELAY_MS", "50", 1);
        const TokenStore store(Registration::Database, "pin-pad");
        KeychainBackend backend = store.backend();
        auto listed = backend.list_certificates(Purpose::Sign);
        ASSERT_TRUE(listed) << listed.error().display();
        const CertificateInfo* info = find(listed.value(), KeyAlgorithm::Rsa2048, "main");
        ASSERT_NE(info, nullptr);
        const auto approval = backend.key_approval(info->cert_id);
        ASSERT_TRUE(approval && approval.value() == KeyApproval::PinPad);
        int returned = 0;
        const auto hashes = random_hashes(2);
        auto signatures = backend.sign(info->cert_id, HashAlg::Sha256, Scheme::RsaPkcs1, hashes,
                                       Pin(), [&returned] { ++returned; });
        EXPECT_EQ(returned, 1);
        if (c.error.empty()) {
            ASSERT_TRUE(signatures) << signatures.error().display();
            EXPECT_TRUE(
                testing::verifies_with(info->der, EVP_sha256(), hashes[1], signatures.value()[1]));
        } else {
            ASSERT_FALSE(signatures);
            EXPECT_EQ(signatures.error().display(), c.error);
        }
        EXPECT_EQ(store.logins().size(), 1u) << "one login, through the keypad";
    }
    unsetenv("TAVRIN_FORWARD_PAD_PIN");
    unsetenv("TAVRIN_FORWARD_PAD_DELAY_MS");
}

TEST(NssToken, AnEmptyReaderIsSeenAndACardInsertedLaterIsListed) {
    setenv("TAVRIN_FORWARD_CARD_AFTER_MS", "1000", 1);
    const TokenStore store(Registration::Database, "late-card");
    KeychainBackend backend = store.backend();
    EXPECT_EQ(backend.list_certificates(Purpose::Any).error(),
              BackendError::no_matching_certificates());
    const std::size_t empty = backend.readers_without_card();
    EXPECT_GT(empty, 0u);
    for (int i = 0; i < 100 && backend.readers_without_card() == empty; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_LT(backend.readers_without_card(), empty);
    auto listed = backend.list_certificates(Purpose::Any);
    ASSERT_TRUE(listed) << listed.error().display();
    EXPECT_EQ(listed.value().size(), 6u);
    unsetenv("TAVRIN_FORWARD_CARD_AFTER_MS");
}

}  // namespace
}  // namespace tavrin
