// The Keychain backend over real NSS databases, with every signature checked
// by OpenSSL: the software databases made by fixtures/make_nss_home.sh, and
// smart cards and tokens as a user's browser reaches them, SoftHSM2 tokens
// behind the forwarding test module registered in an NSS database, listed
// without a PIN and signed with one login. The module logs the logins and
// fakes what SoftHSM2 cannot do (a final try, a locked PIN, a keypad).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "backend/certificate_id.h"
#include "backend/keychain/keychain_backend.h"
#include "backend/keychain/nss/nss_database_location.h"
#include "backend/keychain/user_keychain_platform.h"
#include "support/nss_fixture.h"
#include "support/softhsm_token.h"

namespace tavrin {
namespace {

using testing::fixture_der;
using ::testing::StartsWith;
using testing::token_der;

// The identity store over the NSS database in `folder` and the token modules
// it registers, and with `p11kit` those registered with p11-kit too.
KeychainBackend nss_backend(const std::string& folder, bool p11kit = false) {
    return KeychainBackend(keychain::make_user_keychain_platform(folder, p11kit));
}

KeychainBackend backend_for(const std::string& home) {
    return nss_backend(home + "/.pki/nssdb");
}

// `count` random hashes of the length `alg` gives.
std::vector<Bytes> random_hashes(std::size_t count, HashAlg alg = HashAlg::Sha256) {
    std::vector<Bytes> hashes(count, Bytes(digest_length(alg)));
    for (auto& hash : hashes)
        RAND_bytes(hash.data(), static_cast<int>(hash.size()));
    return hashes;
}

// The purpose filter is the backend's own (keychain_backend_test.cpp).
TEST(NssKeychain, ListsTheIdentitiesWithAKeyAndTheirFields) {
    const CertificateList listed =
        backend_for(TAVRIN_NSS_HOME).list_certificates(Purpose::Any).value();
    const std::map<std::string, KeyAlgorithm> keys{{"rsa2048", KeyAlgorithm::Rsa2048},
                                                   {"rsa4096", KeyAlgorithm::Rsa4096},
                                                   {"p256", KeyAlgorithm::EcP256}};
    ASSERT_EQ(listed.size(), keys.size());  // not "nokey", which has no key
    for (const auto& [name, algorithm] : keys) {
        const auto info = std::find_if(listed.begin(), listed.end(),
                                       [&](const auto& i) { return i.der == fixture_der(name); });
        ASSERT_NE(info, listed.end()) << name;
        EXPECT_EQ(info->key_algorithm, algorithm);
        EXPECT_EQ(info->cert_id, certificate_id(info->der));
    }
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
    EXPECT_EQ(backend_for("/nonexistent/tavrin").list_certificates(Purpose::Any).error(),
              BackendError::no_matching_certificates());  // no database: no identities
    // The error of an RSA signature with `cert_id`, or the first identity listed.
    const auto sign_error = [](const std::string& home, const std::string& cert_id = "") {
        KeychainBackend backend = backend_for(home);
        const CertificateList listed = backend.list_certificates(Purpose::Any).value();
        const std::string id = cert_id.empty() ? listed.at(0).cert_id : cert_id;
        const auto signed_hash =
            backend.sign(id, HashAlg::Sha256, Scheme::RsaPkcs1, random_hashes(1), Pin());
        return signed_hash.error().display();
    };
    // A key of the wrong type; a key that needs the database's password.
    EXPECT_THAT(sign_error(TAVRIN_NSS_HOME, certificate_id(fixture_der("p256"))),
                StartsWith("internal backend error: PK11_SignWithMechanism: "));
    EXPECT_THAT(sign_error(TAVRIN_NSS_PASSWORD_HOME),
                StartsWith("internal backend error: PK11_FindKeyByAnyCert: "));
}

// An NSS database, made once, with the forwarding module registered and a
// module that does not load (named on stderr while the others list).
std::string token_database() {
    static const testing::TempDir dir;
    static const int made = [] {
        const std::string db = "sql:" + dir.path().string();
        const std::string commands = "certutil -N -d " + db +
                                     " --empty-password && modutil -force -dbdir " + db +
                                     " -add 'Test card' -libfile " + TAVRIN_FORWARDING_MODULE;
        const int status = std::system((commands + " >/dev/null 2>&1").c_str());
        std::ofstream(dir.file("pkcs11.txt"), std::ios::app)
            << "\nlibrary=/nonexistent/libmissing.so\nname=Broken card\n";
        return status;
    }();
    EXPECT_EQ(made, 0);
    return dir.path().string();
}

TEST(NssToken, IdentitiesReachedTwoWaysAreListedOnceWithChainAndQualification) {
    const testing::SoftHsmTokens tokens{"main", "chain"};
    // p11-kit reaches the same tokens a second way: through SoftHSM2's own
    // registration there.
    KeychainBackend backend = nss_backend(token_database(), true);
    ::testing::internal::CaptureStderr();
    auto listed = backend.list_certificates(Purpose::Any);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "tavrin-bridge: token module \"Broken card\" (/nonexistent/libmissing.so) was not "
              "loaded: /nonexistent/libmissing.so: cannot open shared object file: No such file "
              "or directory\n");
    ASSERT_TRUE(listed) << listed.error().display();
    // main: rsa2048, rsa4096, p256, bp256; chain: two identities; the CA
    // certificates have no key.
    std::map<std::string, const CertificateInfo*> seen;
    for (const auto& info : listed.value()) {
        EXPECT_TRUE(seen.emplace(info.cert_id, &info).second) << "twice: " << info.cert_id;
        EXPECT_TRUE(info.token_label == "main" || info.token_label == "chain");
        if (info.key_algorithm == KeyAlgorithm::Rsa2048 && info.token_label == "main") {
            EXPECT_TRUE(info.chain.empty());  // self-signed
        }
    }
    EXPECT_EQ(seen.size(), 6u);
    const CertificateInfo* qualified = seen[certificate_id(token_der("qualified"))];
    const CertificateInfo* other = seen[certificate_id(token_der("unqualified"))];
    ASSERT_TRUE(qualified && other);
    EXPECT_EQ(qualified->chain, (std::vector<Bytes>{token_der("intermediate"), token_der("root")}));
    EXPECT_EQ(qualified->qualified, true);
    EXPECT_EQ(other->chain, std::vector<Bytes>{token_der("root")});
    EXPECT_EQ(other->qualified, false);
    EXPECT_TRUE(tokens.logins().empty()) << "a listing never logs in";
}

constexpr const char* kKeypadRefusal =
    "a key that wants the PIN for every signature cannot be used with a card reader's keypad";

// One request each: the PIN typed (or entered at the reader's keypad) is
// tried exactly once, the whole batch is signed after it, and the next
// request needs it again.
TEST(NssToken, EachRequestLogsInOnceAndSignsTheWholeBatch) {
    const std::string cancelled = "the PIN entry on the card reader was cancelled or timed out";
    const struct {
        std::string fakes;
        const char* pin;  // typed, or with "pin-pad" entered at the keypad
        std::optional<std::uint32_t> retries;
        std::vector<std::string> logins;
        std::string error;  // "" for signatures
    } cases[] = {
        {"", "1234", {}, {"user 0"}, ""},
        {"", "0000", {}, {"user a0"}, "PIN incorrect"},
        {"final-try", "0000", 1, {"user a0"}, "PIN incorrect"},
        {"locked", "1234", {}, {"user a4"}, "PIN blocked"},
        // On the token "always", whose key wants the PIN for every signature.
        {"always", "1234", {}, {"user 0", "context 0", "context 0"}, ""},
        {"pin-pad", "1234", {}, {"pad 0"}, ""},
        {"pin-pad", "0000", {}, {"pad a0"}, "PIN incorrect"},
        {"pin-pad", "cancel", {}, {"pad 50"}, cancelled},
        // A key that wants the PIN for every signature, on a keypad reader:
        // nothing can hand the keypad's PIN over again, so it is refused.
        {"always pin-pad",
         "1234",
         {},
         {"pad 0"},
         std::string("mechanism unsupported: ") + kKeypadRefusal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fakes + " " + c.pin);
        const bool always = c.fakes.find("always") != std::string::npos;
        const testing::SoftHsmTokens tokens{always ? "always" : "main"};
        const bool pad = c.fakes.find("pin-pad") != std::string::npos;
        setenv("TAVRIN_FORWARD_FAKE", c.fakes.c_str(), 1);
        setenv("TAVRIN_FORWARD_PAD_PIN", c.pin, 1);
        setenv("TAVRIN_FORWARD_PAD_DELAY_MS", "50", 1);
        KeychainBackend backend = nss_backend(token_database());
        auto listed = backend.list_certificates(Purpose::Any);
        ASSERT_TRUE(listed) << listed.error().display();
        const auto info =
            std::find_if(listed.value().begin(), listed.value().end(),
                         [](const auto& i) { return i.key_algorithm == KeyAlgorithm::Rsa2048; });
        ASSERT_NE(info, listed.value().end());
        const KeyApproval wanted = pad ? KeyApproval::PinPad : KeyApproval::TypedPin;
        EXPECT_EQ(backend.key_approval(info->cert_id).value(), wanted);
        int returned = 0;
        const auto hashes = random_hashes(2);
        auto signatures = backend.sign(info->cert_id, HashAlg::Sha256, Scheme::RsaPkcs1, hashes,
                                       Pin(pad ? "" : c.pin), [&] { return ++returned > 0; });
        EXPECT_EQ(returned, 1);
        EXPECT_EQ(tokens.logins(), c.logins);
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
        EXPECT_EQ(backend.key_approval(info->cert_id).value(), wanted);  // logged out again
    }
}

// Every kind of key on a token signs, brainpool too (the token does the
// arithmetic), and OpenSSL verifies each signature with the certificate.
TEST(NssToken, EveryKeyOnATokenSignsWhatItsCertificateVerifies) {
    const testing::SoftHsmTokens tokens{"main"};
    KeychainBackend backend = nss_backend(token_database());
    auto listed = backend.list_certificates(Purpose::Any);
    ASSERT_TRUE(listed) << listed.error().display();
    ASSERT_EQ(listed.value().size(), 4u);
    for (const CertificateInfo& info : listed.value()) {
        const bool rsa = info.key_algorithm == KeyAlgorithm::Rsa2048 ||
                         info.key_algorithm == KeyAlgorithm::Rsa4096;
        SCOPED_TRACE(static_cast<int>(info.key_algorithm));
        const auto hashes = random_hashes(2, HashAlg::Sha512);
        auto signatures = backend.sign(info.cert_id, HashAlg::Sha512,
                                       rsa ? Scheme::RsaPkcs1 : Scheme::Ecdsa, hashes, Pin("1234"));
        ASSERT_TRUE(signatures) << signatures.error().display();
        for (std::size_t i = 0; i < hashes.size(); ++i) {
            EXPECT_TRUE(
                testing::verifies_with(info.der, EVP_sha512(), hashes[i], signatures.value()[i]));
        }
    }
    EXPECT_EQ(tokens.logins(), std::vector<std::string>(4, "user 0"));
}

// A listing makes one search, one read per object it can see and one more
// per certificate for its value: for the token "main" four certificates and
// their public keys (the private keys are marked private), and no login. The
// next listing in the same session reads only the certificates again, each
// in one read.
TEST(NssToken, AListingSearchesOnceAndReadsEachObjectOnce) {
    const testing::SoftHsmTokens tokens{"main"};
    const testing::TempDir dir;
    KeychainBackend backend = nss_backend(token_database());
    const auto count_calls = [&] {
        setenv("TAVRIN_FORWARD_CALLS", dir.file("calls").c_str(), 1);
        auto listed = backend.list_certificates(Purpose::Any);
        unsetenv("TAVRIN_FORWARD_CALLS");
        EXPECT_TRUE(listed);
        std::map<std::string, int> calls;
        std::ifstream in(dir.file("calls"));
        for (std::string line; std::getline(in, line);)
            ++calls[line];
        std::filesystem::remove(dir.file("calls"));
        return calls;
    };
    for (const int reads : {12, 4}) {
        const auto calls = count_calls();
        EXPECT_EQ(calls.at("FindObjectsInit"), 1) << reads;
        EXPECT_EQ(calls.at("GetAttributeValue"), reads);
        EXPECT_FALSE(calls.contains("Login"));
    }
}

// A card pulled and put back under a backend that keeps running: no login
// (so no PIN try) on a card that is out, the step that found it gone in the
// answer, and the same listed certificate signing again once it is back.
TEST(NssToken, ACardPulledAndPutBackIsToldAndTakenUpAgain) {
    const testing::SoftHsmTokens tokens{"main"};
    const testing::TempDir dir;
    const std::string card = dir.file("card");
    const auto put_in = [&] { std::ofstream(card).put('1'); };
    put_in();
    setenv("TAVRIN_FORWARD_CARD_FILE", card.c_str(), 1);
    KeychainBackend backend = nss_backend(token_database());
    auto listed = backend.list_certificates(Purpose::Any);
    ASSERT_TRUE(listed) << listed.error().display();
    const auto info = std::find_if(listed.value().begin(), listed.value().end(), [](const auto& i) {
        return i.key_algorithm == KeyAlgorithm::Rsa2048;
    });
    ASSERT_NE(info, listed.value().end());
    const std::string id = info->cert_id;
    const auto sign = [&](const std::function<bool()>& login_returned = [] { return true; }) {
        return backend.sign(id, HashAlg::Sha256, Scheme::RsaPkcs1, random_hashes(1), Pin("1234"),
                            login_returned);
    };
    const auto back_in = [&] {
        put_in();
        EXPECT_EQ(backend.key_approval(id).value(), KeyApproval::TypedPin);
    };

    std::filesystem::remove(card);
    EXPECT_EQ(backend.key_approval(id).value(), KeyApproval::InsertCard);
    EXPECT_EQ(sign().error().display(),
              "no token/card present: the card is not in its reader; no PIN was tried and "
              "nothing was signed");
    EXPECT_TRUE(tokens.logins().empty());

    // Pulled between the login and the signature.
    back_in();
    auto pulled = sign([&] { return std::filesystem::remove(card); });
    ASSERT_FALSE(pulled);
    EXPECT_THAT(pulled.error().display(), StartsWith("no token/card present: find private key: "));

    back_in();
    auto signatures = sign();
    ASSERT_TRUE(signatures) << signatures.error().display();
    EXPECT_EQ(tokens.logins(), (std::vector<std::string>{"user 0", "user 0"}));

    // What a module answers when its card goes during the call itself.
    for (const auto& [failure, step] : {std::pair{"Login 1 0x32", "C_Login"},  // CKR_DEVICE_REMOVED
                                        {"Sign 1 0x30", "C_Sign"}}) {          // CKR_DEVICE_ERROR
        setenv("TAVRIN_FORWARD_FAIL", failure, 1);
        auto failed = sign();
        ASSERT_FALSE(failed) << failure;
        EXPECT_EQ(failed.error().kind(), BackendError::Kind::NoToken) << failed.error().display();
        EXPECT_THAT(failed.error().display(),
                    StartsWith(std::string("no token/card present: ") + step + ": "));
    }
}

// The database Chrome uses, found in each kind of home: the identities of
// the software database and those of the token module registered in it are
// listed; a database in the place the rule does not choose is not read.
TEST(NssDatabase, EachHomeListsTheDatabaseItsBrowserUses) {
    namespace fs = std::filesystem;
    const testing::SoftHsmTokens tokens{"main"};
    const struct {
        const char* home;
        bool legacy;            // ~/.pki exists
        const char* data_home;  // XDG_DATA_HOME: nullptr unset, "@" a folder outside home
        const char* chosen;     // the folder expected, "@" standing for that outside folder
        const char* decoy;      // a folder with a database that must not be read, or ""
    } cases[] = {
        {"only ~/.pki", true, nullptr, "HOME/.pki/nssdb", ""},
        {"only the XDG folder", false, nullptr, "HOME/.local/share/pki/nssdb", ""},
        {"both", true, nullptr, "HOME/.pki/nssdb", "HOME/.local/share/pki/nssdb"},
        {"XDG_DATA_HOME elsewhere", false, "@", "@/pki/nssdb", "HOME/.local/share/pki/nssdb"},
        {"XDG_DATA_HOME relative", false, "share", "HOME/.local/share/pki/nssdb", ""},
    };
    const std::string fixture = std::string(TAVRIN_NSS_HOME) + "/.pki/nssdb";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.home);
        const testing::TempDir home, outside;
        const auto resolve = [&](std::string path) {
            for (const auto& [key, value] :
                 {std::pair<std::string, std::string>{"HOME", home.path().string()},
                  {"@", outside.path().string()}})
                if (path.rfind(key, 0) == 0) path = value + path.substr(key.size());
            return path;
        };
        const std::string chosen = resolve(c.chosen);
        fs::create_directories(chosen);
        for (const char* file : {"cert9.db", "key4.db", "pkcs11.txt"})
            fs::copy_file(fixture + "/" + file, chosen + "/" + file);
        ASSERT_EQ(
            std::system(("modutil -force -dbdir sql:" + chosen + " -add 'Test card' -libfile " +
                         TAVRIN_FORWARDING_MODULE + " >/dev/null 2>&1")
                            .c_str()),
            0);
        if (*c.decoy != '\0') {
            fs::create_directories(resolve(c.decoy));
            ASSERT_EQ(std::system(("certutil -N -d sql:" + resolve(c.decoy) +
                                   " --empty-password >/dev/null 2>&1")
                                      .c_str()),
                      0);
        }
        if (c.legacy) fs::create_directories(home.path() / ".pki");

        setenv("HOME", home.path().c_str(), 1);
        if (c.data_home == nullptr)
            unsetenv("XDG_DATA_HOME");
        else
            setenv("XDG_DATA_HOME", resolve(c.data_home).c_str(), 1);
        const std::string found = keychain::user_nss_database_dir();
        unsetenv("XDG_DATA_HOME");
        EXPECT_EQ(found, chosen);

        auto listed = nss_backend(found).list_certificates(Purpose::Any);
        ASSERT_TRUE(listed) << listed.error().display();
        std::size_t software = 0, on_token = 0;
        for (const auto& info : listed.value())
            (info.token_label ? on_token : software) += 1;
        EXPECT_EQ(software, 3u);  // rsa2048, rsa4096, p256
        EXPECT_EQ(on_token, 4u);  // the token "main" behind the registered module
    }
}

}  // namespace
}  // namespace tavrin
