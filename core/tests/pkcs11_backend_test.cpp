// The PKCS#11 backend against real SoftHSM2 tokens (fixtures/make_softhsm_token.sh),
// reached through the forwarding test module, which counts the logins and
// replaces single answers where SoftHSM2 cannot show a case.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "backend/certificate_id.h"
#include "backend/pkcs11/attribute_read.h"
#include "backend/pkcs11/object_search.h"
#include "backend/pkcs11/pkcs11_backend.h"
#include "backend/pkcs11/public_key_algorithm.h"
#include "backend/x509/supported_keys.h"
#include "support/inspecting_memory.h"
#include "support/softhsm_token.h"
#include "tests/support/signature_check.h"

namespace tavrin {
namespace {

using pkcs11::Module;
using testing::kTokenPin;
using testing::token_der;

// `count` different hashes of the length `alg` gives.
std::vector<Bytes> hashes(std::size_t count, HashAlg alg = HashAlg::Sha256) {
    std::vector<Bytes> out;
    for (std::size_t i = 0; i < count; ++i)
        out.emplace_back(digest_length(alg), static_cast<std::uint8_t>(0x41 + i));
    return out;
}

// Makes the `nth` call of C_`function` from now on answer `rv`.
void fail(const std::string& function, int nth, CK_RV rv) {
    static int settings = 0;  // makes every setting differ from the one before
    const std::string spec = function + " " + std::to_string(nth) + " " + std::to_string(rv) + " " +
                             std::to_string(++settings);
    setenv("TAVRIN_FORWARD_FAIL", spec.c_str(), 1);
}

class Pkcs11BackendTest : public ::testing::Test {
  protected:
    // A backend on a copy of the fixture token `label` alone, and what it
    // lists for `purpose`.
    CertificateList open(const std::string& label, Purpose purpose = Purpose::Any) {
        backend.reset();
        module.reset();  // the next load reads the new token folder
        tokens.reset();
        tokens.emplace(std::initializer_list<std::string>{label});
        module = Module::load(TAVRIN_FORWARDING_MODULE).value();
        slot = pkcs11::first_token_slot(*module).value();
        backend.emplace(session(), &secrets);
        return backend->list_certificates(purpose).value();
    }

    pkcs11::Session session() { return std::move(pkcs11::Session::open(module, slot)).value(); }

    static const CertificateInfo& with(const CertificateList& listed, KeyAlgorithm algorithm) {
        const auto found = std::find_if(listed.begin(), listed.end(), [&](const auto& info) {
            return info.key_algorithm == algorithm;
        });
        if (found == listed.end())
            throw std::runtime_error("none listed: " + std::string(wire_name(algorithm)));
        return *found;
    }

    Result<SignatureList, BackendError> sign(const std::string& cert_id, Scheme scheme,
                                             std::size_t count = 3, const char* pin = kTokenPin,
                                             HashAlg alg = HashAlg::Sha256) {
        return backend->sign(cert_id, alg, scheme, hashes(count, alg), Pin(pin));
    }

    testing::InspectingMemory secrets;
    std::optional<testing::SoftHsmTokens> tokens;
    std::shared_ptr<const Module> module;
    CK_SLOT_ID slot = 0;
    std::optional<Pkcs11Backend> backend;
};

TEST_F(Pkcs11BackendTest, FindsTheTokenListsWithoutLoginAndSignsOnlyWhatItListed) {
    EXPECT_EQ(Module::load("libm.so.6").error().display(),
              "required middleware not found: libm.so.6: not a PKCS#11 module (no "
              "C_GetFunctionList)");
    EXPECT_EQ(open("main", Purpose::Auth).size(), 2u);
    EXPECT_EQ(Module::load(TAVRIN_FORWARDING_MODULE).value(), module);  // one per library
    Pkcs11Backend other(session());
    const CertificateList all = other.list_certificates(Purpose::Any).value();
    const std::vector<std::pair<KeyAlgorithm, std::vector<CertPurpose>>> expected{
        {KeyAlgorithm::Rsa2048, {CertPurpose::Sign, CertPurpose::Auth}},
        {KeyAlgorithm::Rsa4096, {CertPurpose::Sign}},
        {KeyAlgorithm::EcP256, {CertPurpose::Auth}},
        {KeyAlgorithm::EcBrainpoolP256r1, {CertPurpose::Sign}}};
    ASSERT_EQ(all.size(), expected.size());
    for (const auto& [algorithm, purposes] : expected) {
        const CertificateInfo& info = with(all, algorithm);
        EXPECT_EQ(info.purposes, purposes);
        EXPECT_EQ(info.cert_id, certificate_id(info.der));
        EXPECT_EQ(info.backend, Backend::Pkcs11);
        EXPECT_TRUE(info.chain.empty());  // self-signed
        EXPECT_EQ(info.token_label, "main");
        EXPECT_EQ(info.qualified, false);
        EXPECT_EQ(info.not_after.size(), 20u);
    }
    // Listed by the other instance only: refused without a login.
    EXPECT_EQ(sign(with(all, KeyAlgorithm::Rsa4096).cert_id, Scheme::RsaPkcs1).error(),
              BackendError::unknown_certificate_id());
    EXPECT_TRUE(tokens->logins().empty());
    EXPECT_EQ(backend->list_certificates(Purpose::Sign).value().size(), 3u);

    // No reader at all, and a reader without a card.
    setenv("TAVRIN_FORWARD_FAKE", "no-reader", 1);
    EXPECT_EQ(pkcs11::first_token_slot(*module).error(), BackendError::no_reader());
    setenv("TAVRIN_FORWARD_FAKE", "late-card", 1);
    setenv("TAVRIN_FORWARD_CARD_AFTER_MS", "600000", 1);
    EXPECT_EQ(pkcs11::first_token_slot(*module).error(), BackendError::no_token());
}

TEST_F(Pkcs11BackendTest, SignsEachBatchWithOneLoginAndTheSignaturesVerify) {
    const CertificateList listed = open("main");
    const std::pair<KeyAlgorithm, HashAlg> rows[] = {
        {KeyAlgorithm::Rsa2048, HashAlg::Sha256},
        {KeyAlgorithm::Rsa4096, HashAlg::Sha512},
        {KeyAlgorithm::EcP256, HashAlg::Sha256},
        {KeyAlgorithm::EcBrainpoolP256r1, HashAlg::Sha512}};
    for (const auto& [key, alg] : rows) {
        SCOPED_TRACE(std::string(wire_name(key)));
        const CertificateInfo& cert = with(listed, key);
        const EVP_MD* md = alg == HashAlg::Sha256 ? EVP_sha256() : EVP_sha512();
        const bool rsa = key == KeyAlgorithm::Rsa2048 || key == KeyAlgorithm::Rsa4096;
        auto signed_hashes =
            sign(cert.cert_id, rsa ? Scheme::RsaPkcs1 : Scheme::Ecdsa, 3, kTokenPin, alg);
        ASSERT_TRUE(signed_hashes) << signed_hashes.error().display();
        ASSERT_EQ(signed_hashes.value().size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_TRUE(
                testing::verifies_with(cert.der, md, hashes(3, alg)[i], signed_hashes.value()[i]));
        }
    }
    // Refused before the login: a hash of the wrong length; after it: a scheme
    // the backend does not offer, unless there is nothing to sign.
    const std::string rsa = with(listed, KeyAlgorithm::Rsa2048).cert_id;
    const auto wrong_length = backend->sign(rsa, HashAlg::Sha256, Scheme::RsaPkcs1,
                                            {Bytes(32), Bytes(48)}, Pin(kTokenPin));
    EXPECT_EQ(wrong_length.error().display(),
              "internal backend error: hash length 48 does not match Sha256");
    EXPECT_EQ(tokens->logins().size(), std::size(rows));
    EXPECT_EQ(sign(rsa, Scheme::RsaPss, 1).error().display(),
              "mechanism unsupported: rsa-pss (phase 2)");
    EXPECT_TRUE(sign(rsa, Scheme::RsaPss, 0).value().empty());
    // Each batch logged in once, and out again: no login found the token
    // still logged in.
    EXPECT_EQ(tokens->logins(), std::vector<std::string>(std::size(rows) + 2, "user 0"));
}

TEST_F(Pkcs11BackendTest, LoginOutcomesAndEveryBatchNeedsItsOwnPin) {
    const std::string rsa = with(open("main"), KeyAlgorithm::Rsa2048).cert_id;
    struct Row {
        const char* pin;
        const char* fakes;
        CK_RV login_answer;  // CKR_OK: the token's own
        BackendError expected;
    };
    const Row rows[] = {
        {"0000", "", CKR_OK, BackendError::pin_incorrect()},
        // Passed by address: a null PIN would ask for the keypad.
        {"", "", CKR_OK, BackendError::pin_incorrect()},
        {"0000", "final-try", CKR_OK, BackendError::pin_incorrect(1)},
        {kTokenPin, "locked", CKR_OK, BackendError::pin_blocked()},
        // The attempt that used up the last try, answered as a wrong PIN.
        {"0000", "locked", CKR_PIN_INCORRECT, BackendError::pin_blocked()},
        {kTokenPin, "", CKR_PIN_LEN_RANGE, BackendError::pin_incorrect()},
        {kTokenPin, "", CKR_DEVICE_ERROR,
         BackendError::no_token("login failed: Function::Login: PKCS11 error: CKR_DEVICE_ERROR")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected.display());
        setenv("TAVRIN_FORWARD_FAKE", row.fakes, 1);
        unsetenv("TAVRIN_FORWARD_FAIL");
        if (row.login_answer != CKR_OK) fail("Login", 1, row.login_answer);
        EXPECT_EQ(sign(rsa, Scheme::RsaPkcs1, 1, row.pin).error(), row.expected);
    }
    unsetenv("TAVRIN_FORWARD_FAKE");
    unsetenv("TAVRIN_FORWARD_FAIL");
    EXPECT_TRUE(sign(rsa, Scheme::RsaPkcs1, 1));
    // Every copy of the PIN handed to the token was wiped.
    ASSERT_EQ(secrets.freed.size(), std::size(rows) + 1);
    for (const auto& freed : secrets.freed)
        EXPECT_TRUE(!freed.empty() && testing::all_zero(freed));
    // Logged out after the batch: the next one needs its own correct PIN.
    EXPECT_EQ(sign(rsa, Scheme::RsaPkcs1, 1, "0000").error(), BackendError::pin_incorrect());

    // Logged in from elsewhere in this process: accepted, and left logged in.
    const pkcs11::Session outside = session();
    const CK_FUNCTION_LIST& f = module->functions();
    CK_UTF8CHAR pin[] = {'1', '2', '3', '4'};
    ASSERT_EQ(f.C_Login(outside.handle(), CKU_USER, pin, sizeof pin), CKR_OK);
    EXPECT_TRUE(sign(rsa, Scheme::RsaPkcs1, 1, "0000"));
    CK_SESSION_INFO state{};
    ASSERT_EQ(f.C_GetSessionInfo(outside.handle(), &state), CKR_OK);
    EXPECT_EQ(state.state, CKS_RO_USER_FUNCTIONS);

    // Attributes the key will not give, or does not have, are missing, not errors.
    const Bytes id{0x01};
    const CK_OBJECT_HANDLE key =
        pkcs11::find_by_class_and_id(outside, CKO_PRIVATE_KEY, id).value().at(0);
    const CK_ATTRIBUTE_TYPE types[] = {CKA_PRIVATE_EXPONENT, CKA_ID, CKA_MODULUS, CKA_EC_PARAMS};
    const pkcs11::Attributes read = pkcs11::read_attributes(outside, key, types).value();
    EXPECT_FALSE(read.contains(CKA_PRIVATE_EXPONENT) || read.contains(CKA_EC_PARAMS));
    EXPECT_EQ(read.at(CKA_ID), id);
    EXPECT_EQ(read.at(CKA_MODULUS).size(), 256u);
}

TEST_F(Pkcs11BackendTest, TokenFailuresNameTheStepAndFailTheWholeRequest) {
    const CertificateList listed = open("main");
    const std::string rsa = with(listed, KeyAlgorithm::Rsa2048).cert_id;
    const std::string p256 = with(listed, KeyAlgorithm::EcP256).cert_id;
    const auto cut = [](const char* length) {
        return [=] { setenv("TAVRIN_FORWARD_SIGNATURE_LENGTH", length, 1); };
    };
    const auto device_error = [](const char* function, int nth) {
        return [=] { fail(function, nth, CKR_DEVICE_ERROR); };
    };
    struct Row {
        std::string cert_id;  // "": a listing
        Scheme scheme;
        std::function<void()> inject;
        std::string expected;
    };
    // A search left open would make the next row fail at its first search.
    // A device error is the card's: it answers no_token, naming the step.
    const std::string gone = "no token/card present: ";
    const std::string internal = "internal backend error: ";
    const Row rows[] = {
        {rsa, Scheme::RsaPkcs1, [] { fail("Sign", 3, CKR_FUNCTION_REJECTED); },
         internal + "C_Sign (RSA PKCS#1): Function::Sign: PKCS11 error: CKR_FUNCTION_REJECTED"},
        {p256, Scheme::Ecdsa, device_error("SignInit", 2),
         gone + "C_Sign (ECDSA): Function::SignInit: PKCS11 error: CKR_DEVICE_ERROR"},
        {p256, Scheme::Ecdsa, cut("63"),
         internal + "P1363->DER: P1363 signature length 63 is not even (must be 2 * order size)"},
        {p256, Scheme::Ecdsa, cut("0"), internal + "P1363->DER: P1363 signature is empty"},
        {p256, Scheme::Ecdsa, device_error("FindObjectsInit", 1),
         gone + "find private key: Function::FindObjectsInit: PKCS11 error: CKR_DEVICE_ERROR"},
        {rsa, Scheme::Ecdsa, [] {}, internal + "C_Sign (ECDSA): Function::"},  // the token refuses
        {"",
         {},
         device_error("FindObjectsInit", 1),
         gone + "find certificates: Function::FindObjectsInit"},
        {"", {}, device_error("FindObjects", 1), gone + "find certificates: Function::FindObjects"},
        {"",
         {},
         device_error("GetAttributeValue", 1),
         gone + "get_attributes cert: Function::GetAttributeValue"},
        // One search finds the certificates and the public keys together; a
        // later listing in the session reads only the certificates again.
        {"",
         {},
         device_error("GetAttributeValue", 4),
         gone + "get_attributes cert: Function::GetAttributeValue"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        unsetenv("TAVRIN_FORWARD_SIGNATURE_LENGTH");
        row.inject();
        if (row.cert_id.empty()) {
            auto listing = backend->list_certificates(Purpose::Any);
            ASSERT_FALSE(listing) << "listed";
            EXPECT_THAT(listing.error().display(), ::testing::StartsWith(row.expected));
        } else {
            auto signatures = sign(row.cert_id, row.scheme);
            ASSERT_FALSE(signatures) << "signed";
            EXPECT_THAT(signatures.error().display(), ::testing::StartsWith(row.expected));
        }
    }
    unsetenv("TAVRIN_FORWARD_SIGNATURE_LENGTH");
    // The session is still usable, and what was listed before stays signable.
    EXPECT_TRUE(sign(p256, Scheme::Ecdsa));
    // Logged out after every failure: no login found the token still logged in.
    EXPECT_EQ(tokens->logins(), std::vector<std::string>(7, "user 0"));
}

TEST_F(Pkcs11BackendTest, TokensWithIssuersAndUnusualObjects) {
    // Issuers on the token form the chain, and QcCompliance makes qualified.
    const CertificateList listed = open("chain", Purpose::Sign);
    ASSERT_EQ(listed.size(), 2u);  // the CA certificates carry no signing purpose
    const CertificateInfo& qualified = with(listed, KeyAlgorithm::EcP256);
    EXPECT_EQ(qualified.der, token_der("qualified"));
    EXPECT_EQ(qualified.chain, (std::vector<Bytes>{token_der("intermediate"), token_der("root")}));
    EXPECT_EQ(qualified.qualified, true);
    const CertificateInfo& other = with(listed, KeyAlgorithm::Rsa2048);
    EXPECT_EQ(other.chain, std::vector<Bytes>{token_der("root")});
    EXPECT_EQ(other.qualified, false);  // another statement, not QcCompliance
    EXPECT_EQ(other.token_label, "chain");

    // An auth certificate without a public-key object, beside two signing
    // identities, one of them under an empty CKA_ID.
    const CertificateList signing = open("orphan", Purpose::Sign);
    ASSERT_EQ(signing.size(), 2u);
    for (const CertificateInfo& info : signing) {
        auto signed_hash = sign(info.cert_id, Scheme::RsaPkcs1, 1);
        ASSERT_TRUE(signed_hash) << signed_hash.error().display();
        EXPECT_TRUE(
            testing::verifies_with(info.der, EVP_sha256(), hashes(1)[0], signed_hash.value()[0]));
    }
    EXPECT_EQ(backend->list_certificates(Purpose::Any).error(),
              BackendError::unknown_certificate_id());

    // More certificates than one search batch returns.
    EXPECT_EQ(open("twelve", Purpose::Sign).size(), 12u);
    EXPECT_EQ(backend->list_certificates(Purpose::Auth).error(),
              BackendError::no_matching_certificates());
}

TEST(Pkcs11PublicKey, KeyAlgorithmFromTheAttributes) {
    const auto ulong_bytes = [](CK_ULONG value) {
        return Bytes(reinterpret_cast<std::uint8_t*>(&value),
                     reinterpret_cast<std::uint8_t*>(&value + 1));
    };
    const Bytes p256(kP256CurveParams.begin(), kP256CurveParams.end());
    const Bytes secp384r1{0x06, 0x05, 0x2B, 0x81, 0x04, 0x00, 0x22};
    struct Row {
        pkcs11::Attributes attributes;
        std::string expected;  // the error's display text (the tokens show the others)
    };
    const Row rows[] = {
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_RSA)}, {CKA_MODULUS, Bytes(257)}},
         "mechanism unsupported: RSA modulus length Some(257) bytes"},
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_RSA)}},
         "mechanism unsupported: RSA modulus length None bytes"},
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_EC)}, {CKA_EC_PARAMS, secp384r1}},
         "mechanism unsupported: unrecognized EC curve"},
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_EC)}, {CKA_MODULUS, Bytes(256)}},
         "internal backend error: EC public key missing CKA_EC_PARAMS"},
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_EC_EDWARDS)}, {CKA_EC_PARAMS, p256}},
         "mechanism unsupported: key type Some(KeyType { val: 64 })"},
        {{{CKA_MODULUS, Bytes(256)}}, "mechanism unsupported: key type None"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(pkcs11::public_key_algorithm(row.attributes).error().display(), row.expected);
    }
    EXPECT_EQ(pkcs11::return_value_text(CKR_VENDOR_DEFINED + 0x2a), "CKR_VENDOR_DEFINED+0x2a");
    EXPECT_EQ(pkcs11::return_value_text(0x4242), "unknown return value 0x4242");
}

}  // namespace
}  // namespace tavrin
