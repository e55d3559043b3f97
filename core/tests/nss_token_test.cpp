// Smart cards and tokens seen through the identity store: SoftHSM2 tokens
// reached the ways a user's browser reaches a card (a module registered in
// the NSS database, or registered with p11-kit), listed without a PIN and
// signed with one login. The forwarding test module counts the logins and
// fakes what SoftHSM2 cannot do (a final try, a locked PIN, a key that wants
// the PIN for every signature, a keypad, a card inserted late). Every
// signature is checked with OpenSSL.

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>

#include "backend/certificate_id.h"
#include "backend/keychain/keychain_backend.h"
#include "backend/keychain/nss/nss_keychain_platform.h"
#include "support/nss_fixture.h"
#include "support/softhsm_token.h"
#include "tests/support/signature_check.h"
#include "tests/support/temp_dir.h"

namespace tavrin {
namespace {

using testing::random_hashes;
using testing::token_der;

enum class Registration { Database, P11Kit, Both };

// An NSS database in a scratch folder and the fixture tokens "main" and
// "chain"; the forwarding module is registered in the database unless the
// tokens are to be reached through p11-kit only.
class TokenStore {
  public:
    explicit TokenStore(Registration how, const char* fakes = "") : how_(how) {
        setenv("TAVRIN_FORWARD_FAKE", fakes, 1);
        setenv("TAVRIN_FORWARD_LOG", dir_.file("logins").c_str(), 1);
        std::filesystem::create_directories(database());
        run("certutil -N -d sql:" + database() + " --empty-password");
        if (how != Registration::P11Kit) {
            run("modutil -force -dbdir sql:" + database() + " -add 'Test card' -libfile " +
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

    // The logins the forwarding module saw: "user <rv>", "context <rv>" or
    // "pad <rv>", rv in hexadecimal.
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

const CertificateInfo* find(const CertificateList& list, KeyAlgorithm algorithm) {
    for (const auto& info : list) {
        if (info.key_algorithm == algorithm && info.token_label == "main") return &info;
    }
    return nullptr;
}

TEST(NssToken, IdentitiesAreListedOnceWithChainAndQualificationHoweverTheModuleIsRegistered) {
    for (const Registration how :
         {Registration::Database, Registration::P11Kit, Registration::Both}) {
        SCOPED_TRACE(static_cast<int>(how));
        const TokenStore store(how);
        auto listed = store.backend().list_certificates(Purpose::Any);
        ASSERT_TRUE(listed) << listed.error().display();
        // main: rsa2048, rsa4096, p256, bp256; chain: two identities; the
        // CA certificates have no key.
        std::map<std::string, const CertificateInfo*> seen;
        for (const auto& info : listed.value()) {
            EXPECT_TRUE(seen.emplace(info.cert_id, &info).second) << "twice: " << info.cert_id;
            EXPECT_TRUE(info.token_label == "main" || info.token_label == "chain");
        }
        EXPECT_EQ(seen.size(), 6u);
        EXPECT_NE(find(listed.value(), KeyAlgorithm::EcBrainpoolP256r1), nullptr);
        const CertificateInfo* qualified = seen[certificate_id(token_der("qualified"))];
        const CertificateInfo* other = seen[certificate_id(token_der("unqualified"))];
        ASSERT_TRUE(qualified && other);
        EXPECT_EQ(qualified->chain,
                  (std::vector<Bytes>{token_der("intermediate"), token_der("root")}));
        EXPECT_EQ(qualified->qualified, true);
        EXPECT_EQ(other->chain, std::vector<Bytes>{token_der("root")});
        EXPECT_EQ(other->qualified, false);
        EXPECT_TRUE(find(listed.value(), KeyAlgorithm::Rsa2048)->chain.empty());  // self-signed
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

// One request each: the PIN typed (or entered at the reader's keypad) is
// tried exactly once, a whole batch is signed after it, and the next request
// needs it again.
TEST(NssToken, EachRequestLogsInOnceAndSignsTheWholeBatch) {
    const std::vector<std::string> one_user_login{"user 0"};
    const struct {
        const char* fakes;
        KeyAlgorithm key;
        std::size_t count;
        const char* pin;  // nullptr: entered at the keypad, `at_pad`
        const char* at_pad;
        std::string error;  // "" for signatures
        std::optional<std::uint32_t> retries;
        std::vector<std::string> logins;
    } cases[] = {
        {"", KeyAlgorithm::Rsa2048, 50, "1234", "", "", {}, one_user_login},
        {"", KeyAlgorithm::EcP256, 2, "1234", "", "", {}, one_user_login},
        {"", KeyAlgorithm::EcBrainpoolP256r1, 2, "1234", "", "", {}, one_user_login},
        {"", KeyAlgorithm::Rsa2048, 1, "0000", "", "PIN incorrect", {}, {"user a0"}},
        {"final-try", KeyAlgorithm::Rsa2048, 1, "0000", "", "PIN incorrect", 1, {"user a0"}},
        {"locked", KeyAlgorithm::Rsa2048, 1, "1234", "", "PIN blocked", {}, {"user a4"}},
        {"always-auth",
         KeyAlgorithm::Rsa2048,
         3,
         "1234",
         "",
         "",
         {},
         {"user 0", "context 0", "context 0", "context 0"}},
        {"pin-pad", KeyAlgorithm::Rsa2048, 2, nullptr, "1234", "", {}, {"pad 0"}},
        {"pin-pad", KeyAlgorithm::Rsa2048, 1, nullptr, "0000", "PIN incorrect", {}, {"pad a0"}},
        {"pin-pad",
         KeyAlgorithm::Rsa2048,
         1,
         nullptr,
         "cancel",
         "the PIN entry on the card reader was cancelled or timed out",
         {},
         {"pad 50"}},
    };
    setenv("TAVRIN_FORWARD_PAD_DELAY_MS", "50", 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fakes) + " " + std::string(wire_name(c.key)) + " " +
                     (c.pin ? c.pin : c.at_pad));
        setenv("TAVRIN_FORWARD_PAD_PIN", c.at_pad, 1);
        const TokenStore store(Registration::Database, c.fakes);
        KeychainBackend backend = store.backend();
        auto listed = backend.list_certificates(Purpose::Any);
        ASSERT_TRUE(listed) << listed.error().display();
        const CertificateInfo* info = find(listed.value(), c.key);
        ASSERT_NE(info, nullptr);
        const auto approval = backend.key_approval(info->cert_id);
        const KeyApproval wanted = c.pin ? KeyApproval::TypedPin : KeyApproval::PinPad;
        EXPECT_TRUE(approval && approval.value() == wanted);
        int returned = 0;
        const auto hashes = random_hashes(c.count);
        auto signatures =
            backend.sign(info->cert_id, HashAlg::Sha256,
                         c.key == KeyAlgorithm::Rsa2048 ? Scheme::RsaPkcs1 : Scheme::Ecdsa, hashes,
                         Pin(c.pin ? c.pin : ""), [&] { ++returned; });
        EXPECT_EQ(returned, 1);
        EXPECT_EQ(store.logins(), c.logins);
        if (!c.error.empty()) {
            ASSERT_FALSE(signatures);
            EXPECT_EQ(signatures.error().display(), c.error);
            EXPECT_EQ(signatures.error().retries_left(), c.retries);
            continue;
        }
        ASSERT_TRUE(signatures) << signatures.error().display();
        ASSERT_EQ(signatures.value().size(), hashes.size());
        for (std::size_t i = 0; i < hashes.size(); ++i) {
            EXPECT_TRUE(
                testing::verifies_with(info->der, EVP_sha256(), hashes[i], signatures.value()[i]));
        }
        const auto again = backend.key_approval(info->cert_id);  // logged out again
        EXPECT_TRUE(again && again.value() == wanted);
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
