// The PKCS#11 backend against real SoftHSM2 tokens (fixtures/make_softhsm_token.sh),
// with single answers of the module replaced where SoftHSM2 cannot show a case.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory_resource>

#include "backend/certificate_id.h"
#include "backend/pkcs11/attribute_read.h"
#include "backend/pkcs11/object_search.h"
#include "backend/pkcs11/pkcs11_backend.h"
#include "backend/pkcs11/public_key_algorithm.h"
#include "backend/x509/supported_keys.h"
#include "support/inspecting_memory.h"
#include "support/softhsm_token.h"
#include "support/wrapped_function_list.h"
#include "tests/support/signature_check.h"

namespace tavrin {
namespace {

using pkcs11::Module;
using pkcs11::Session;
using testing::InspectingMemory;
using testing::kTokenPin;
using testing::SoftHsmTokens;
using testing::WrappedFunctionList;

class Pkcs11BackendTest : public ::testing::Test {
  protected:
    // A backend on the token `label`, out of copies of the tokens `labels`.
    Pkcs11Backend& open(std::initializer_list<std::string> labels, const std::string& label) {
        tokens.emplace(labels);
        auto loaded = Module::load(SoftHsmTokens::module_path());
        if (!loaded) throw std::runtime_error(loaded.error().display());
        wrapped.emplace(loaded.value());
        use(label);
        wrapped->calls.clear();
        return *backend;
    }

    // A fresh backend on the token `label`.
    void use(const std::string& label) {
        backend.reset();
        slot = slot_labelled(label);
        backend.emplace(session(), &secrets);
    }

    CK_SLOT_ID slot_labelled(const std::string& label) {
        auto slots = pkcs11::slot_list(*wrapped->module(), true);
        for (const CK_SLOT_ID candidate : slots.value()) {
            CK_TOKEN_INFO info{};
            wrapped->real().C_GetTokenInfo(candidate, &info);
            std::string padded = label;
            padded.resize(sizeof info.label, ' ');
            if (std::memcmp(info.label, padded.data(), sizeof info.label) == 0) return candidate;
        }
        throw std::runtime_error("no token labelled " + label);
    }

    Session session() { return std::move(Session::open(wrapped->module(), slot)).value(); }

    CertificateList list(Purpose purpose = Purpose::Any) {
        auto listed = backend->list_certificates(purpose);
        if (!listed) throw std::runtime_error(listed.error().display());
        return std::move(listed).value();
    }

    static const CertificateInfo& with(const CertificateList& listed, KeyAlgorithm algorithm) {
        return *std::find_if(listed.begin(), listed.end(),
                             [&](const auto& info) { return info.key_algorithm == algorithm; });
    }

    // `count` different hashes of the right length.
    static std::vector<Bytes> hashes(std::size_t count, HashAlg alg = HashAlg::Sha256) {
        std::vector<Bytes> out;
        for (std::size_t i = 0; i < count; ++i)
            out.emplace_back(digest_length(alg), static_cast<std::uint8_t>(0x41 + i));
        return out;
    }

    Result<SignatureList, BackendError> sign(const std::string& cert_id, Scheme scheme,
                                             std::size_t count = 3, const char* pin = kTokenPin,
                                             HashAlg alg = HashAlg::Sha256) {
        return backend->sign(cert_id, alg, scheme, hashes(count, alg), Pin(pin));
    }

    // Makes the next call of `function` fail with `rv`.
    void fail_next(const std::string& function, CK_RV rv, int later = 1) {
        wrapped->fail(function, wrapped->count(function) + later, rv);
    }

    InspectingMemory secrets;
    std::optional<SoftHsmTokens> tokens;
    std::optional<WrappedFunctionList> wrapped;
    CK_SLOT_ID slot = 0;
    std::optional<Pkcs11Backend> backend;
};

TEST_F(Pkcs11BackendTest, ListsEveryCertificateWithItsFieldsAndNoLogin) {
    open({"main", "twelve"}, "main");
    const CertificateList listed = list();
    ASSERT_EQ(listed.size(), 4u);
    const std::vector<std::pair<KeyAlgorithm, std::vector<CertPurpose>>> expected{
        {KeyAlgorithm::Rsa2048, {CertPurpose::Sign, CertPurpose::Auth}},
        {KeyAlgorithm::Rsa4096, {CertPurpose::Sign}},
        {KeyAlgorithm::EcP256, {CertPurpose::Auth}},
        {KeyAlgorithm::EcBrainpoolP256r1, {CertPurpose::Sign}}};
    for (const auto& [algorithm, purposes] : expected) {
        const CertificateInfo& info = with(listed, algorithm);
        EXPECT_EQ(info.purposes, purposes);
        EXPECT_EQ(info.cert_id, certificate_id(info.der));
        EXPECT_EQ(info.backend, Backend::Pkcs11);
        EXPECT_TRUE(info.chain.empty());  // self-signed
        EXPECT_EQ(info.token_label, "main");
        EXPECT_EQ(info.qualified, false);
        EXPECT_EQ(info.not_after.size(), 20u);
    }
    const CertificateList again = list();
    for (std::size_t i = 0; i < listed.size(); ++i)
        EXPECT_EQ(again[i].cert_id, listed[i].cert_id);
    EXPECT_EQ(wrapped->count("Login"), 0);
}

TEST_F(Pkcs11BackendTest, IssuersOnTheTokenFormTheChainAndQcComplianceMakesQualified) {
    open({"chain"}, "chain");
    const auto der = testing::token_der;
    const CertificateList listed = list(Purpose::Sign);
    ASSERT_EQ(listed.size(), 2u);  // the CA certificates carry no signing purpose
    const CertificateInfo& qualified = with(listed, KeyAlgorithm::EcP256);
    EXPECT_EQ(qualified.der, der("qualified"));
    EXPECT_EQ(qualified.chain, (std::vector<Bytes>{der("intermediate"), der("root")}));
    EXPECT_EQ(qualified.qualified, true);
    const CertificateInfo& other = with(listed, KeyAlgorithm::Rsa2048);
    EXPECT_EQ(other.chain, std::vector<Bytes>{der("root")});
    EXPECT_EQ(other.qualified, false);  // another statement, not QcCompliance
    EXPECT_EQ(other.token_label, "chain");
}

TEST_F(Pkcs11BackendTest, OnlyWhatPassesTheFilterIsExaminedAndSignable) {
    open({"main"}, "main");
    Pkcs11Backend other(session());
    const CertificateList all = other.list_certificates(Purpose::Any).value();

    wrapped->calls.clear();
    const CertificateList auth = list(Purpose::Auth);
    ASSERT_EQ(auth.size(), 2u);
    EXPECT_EQ(with(auth, KeyAlgorithm::Rsa2048).cert_id, with(all, KeyAlgorithm::Rsa2048).cert_id);
    EXPECT_EQ(with(auth, KeyAlgorithm::EcP256).cert_id, with(all, KeyAlgorithm::EcP256).cert_id);
    EXPECT_EQ(wrapped->count("FindObjectsInit"), 3);  // certificates, then two public keys

    // Listed by the other instance only: refused without touching the token.
    wrapped->calls.clear();
    EXPECT_EQ(sign(with(all, KeyAlgorithm::Rsa4096).cert_id, Scheme::RsaPkcs1).error(),
              BackendError::unknown_certificate_id());
    EXPECT_TRUE(wrapped->calls.empty());
    EXPECT_EQ(list(Purpose::Sign).size(), 3u);
}

TEST_F(Pkcs11BackendTest, SignsEachHashWithOneLoginAndTheSignaturesVerify) {
    open({"main"}, "main");
    const CertificateList listed = list();
    struct Row {
        KeyAlgorithm key;
        HashAlg alg;
        Scheme scheme;
        const EVP_MD* md;
    };
    for (const Row& row :
         {Row{KeyAlgorithm::Rsa2048, HashAlg::Sha256, Scheme::RsaPkcs1, EVP_sha256()},
          Row{KeyAlgorithm::Rsa4096, HashAlg::Sha512, Scheme::RsaPkcs1, EVP_sha512()},
          Row{KeyAlgorithm::EcP256, HashAlg::Sha256, Scheme::Ecdsa, EVP_sha256()},
          Row{KeyAlgorithm::EcBrainpoolP256r1, HashAlg::Sha512, Scheme::Ecdsa, EVP_sha512()}}) {
        SCOPED_TRACE(std::string(wire_name(row.key)));
        wrapped->calls.clear();
        const CertificateInfo& cert = with(listed, row.key);
        auto signed_hashes = sign(cert.cert_id, row.scheme, 3, kTokenPin, row.alg);
        ASSERT_TRUE(signed_hashes) << signed_hashes.error().display();
        ASSERT_EQ(signed_hashes.value().size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            const Bytes& signature = signed_hashes.value()[i];
            EXPECT_TRUE(testing::verifies_with(cert.der, row.md, hashes(3, row.alg)[i], signature));
            if (row.scheme == Scheme::RsaPkcs1) {
                EXPECT_EQ(signature.size(), row.key == KeyAlgorithm::Rsa2048 ? 256u : 512u);
            } else {
                EXPECT_EQ(signature.at(0), 0x30);
                EXPECT_TRUE(signature.size() >= 8 && signature.size() <= 72);
            }
        }
        EXPECT_EQ(wrapped->count("Login"), 1);
        EXPECT_EQ(wrapped->count("FindObjectsInit"), 1);
        EXPECT_EQ(wrapped->count("SignInit"), 3);
        EXPECT_EQ(wrapped->count("Sign"), 6);
        EXPECT_EQ(wrapped->count("Logout"), 1);
    }
}

TEST_F(Pkcs11BackendTest, RefusalsBeforeAndAfterTheLogin) {
    open({"main"}, "main");
    const std::string rsa = with(list(), KeyAlgorithm::Rsa2048).cert_id;

    wrapped->calls.clear();
    auto wrong_length = backend->sign(rsa, HashAlg::Sha256, Scheme::RsaPkcs1,
                                      {Bytes(32), Bytes(48)}, Pin(kTokenPin));
    EXPECT_EQ(wrong_length.error().display(),
              "internal backend error: hash length 48 does not match Sha256");
    EXPECT_TRUE(wrapped->calls.empty());

    EXPECT_EQ(sign(rsa, Scheme::RsaPss, 1).error().display(),
              "mechanism unsupported: rsa-pss (phase 2)");
    EXPECT_EQ(wrapped->count("Login"), 1);
    EXPECT_EQ(wrapped->count("FindObjectsInit"), 1);
    EXPECT_EQ(wrapped->count("SignInit"), 0);

    auto none = sign(rsa, Scheme::RsaPss, 0);  // nothing to sign: the scheme is not examined
    ASSERT_TRUE(none);
    EXPECT_TRUE(none.value().empty());
}

TEST_F(Pkcs11BackendTest, LoginOutcomesAndEveryBatchNeedsItsOwnPin) {
    open({"main"}, "main");
    const std::string rsa = with(list(), KeyAlgorithm::Rsa2048).cert_id;
    struct Row {
        const char* pin;
        std::optional<CK_RV> login_answer;
        CK_FLAGS token_flags;
        BackendError expected;
    };
    const Row rows[] = {
        {"0000", std::nullopt, 0, BackendError::pin_incorrect()},
        {"", std::nullopt, 0, BackendError::pin_incorrect()},
        {"0000", std::nullopt, CKF_USER_PIN_FINAL_TRY, BackendError::pin_incorrect(1)},
        {"0000", std::nullopt, CKF_USER_PIN_LOCKED, BackendError::pin_blocked()},
        {kTokenPin, CKR_PIN_LEN_RANGE, 0, BackendError::pin_incorrect()},
        {kTokenPin, CKR_PIN_LOCKED, 0, BackendError::pin_blocked()},
        {kTokenPin, CKR_DEVICE_ERROR, 0,
         BackendError::internal("login failed: Function::Login: PKCS11 error: CKR_DEVICE_ERROR")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected.display());
        if (row.login_answer) fail_next("Login", *row.login_answer);
        wrapped->extra_token_flags = row.token_flags;
        secrets.freed.clear();
        auto result = sign(rsa, Scheme::RsaPkcs1, 1, row.pin);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error(), row.expected);
        // The PIN's copy was wiped, and even an empty one was passed by address.
        ASSERT_EQ(secrets.freed.size(), 1u);
        EXPECT_GE(secrets.freed[0].size(), std::strlen(row.pin));
        EXPECT_TRUE(testing::all_zero(secrets.freed[0]));
        EXPECT_EQ(wrapped->logins.back(), (std::pair<bool, CK_ULONG>(false, std::strlen(row.pin))));
    }
    EXPECT_EQ(wrapped->count("SignInit"), 0);
    EXPECT_EQ(wrapped->count("Logout"), 0);

    secrets.freed.clear();
    EXPECT_TRUE(sign(rsa, Scheme::RsaPkcs1, 1));
    ASSERT_EQ(secrets.freed.size(), 1u);
    EXPECT_EQ(secrets.freed[0], std::vector<char>(secrets.freed[0].size(), 0));
    // Logged out after the batch: the next one needs its own correct PIN.
    EXPECT_EQ(sign(rsa, Scheme::RsaPkcs1, 1, "0000").error(), BackendError::pin_incorrect());

    // Logged in from elsewhere in this process: accepted, and left logged in.
    CK_SESSION_HANDLE outside = 0;
    ASSERT_EQ(wrapped->real().C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &outside),
              CKR_OK);
    CK_UTF8CHAR pin[] = {'1', '2', '3', '4'};
    ASSERT_EQ(wrapped->real().C_Login(outside, CKU_USER, pin, sizeof pin), CKR_OK);
    wrapped->calls.clear();
    EXPECT_TRUE(sign(rsa, Scheme::RsaPkcs1, 1, "0000"));
    EXPECT_EQ(wrapped->count("Logout"), 0);
    wrapped->real().C_CloseSession(outside);
}

TEST_F(Pkcs11BackendTest, TokenFailuresWhileSigningFailTheWholeBatch) {
    open({"main"}, "main");
    const CertificateList listed = list();
    const std::string rsa = with(listed, KeyAlgorithm::Rsa2048).cert_id;
    const std::string p256 = with(listed, KeyAlgorithm::EcP256).cert_id;
    const std::string internal = "internal backend error: ";
    struct Row {
        std::string cert_id;
        Scheme scheme;
        std::function<void()> inject;
        std::string expected;
    };
    const Row rows[] = {
        {rsa, Scheme::RsaPkcs1, [&] { fail_next("Sign", CKR_FUNCTION_REJECTED, 3); },
         "C_Sign (RSA PKCS#1): Function::Sign: PKCS11 error: CKR_FUNCTION_REJECTED"},
        {p256, Scheme::Ecdsa, [&] { fail_next("SignInit", CKR_DEVICE_ERROR, 2); },
         "C_Sign (ECDSA): Function::SignInit: PKCS11 error: CKR_DEVICE_ERROR"},
        {p256, Scheme::Ecdsa, [&] { wrapped->signature_output = Bytes(63, 1); },
         "P1363->DER: P1363 signature length 63 is not even (must be 2 * order size)"},
        {p256, Scheme::Ecdsa, [&] { wrapped->signature_output = Bytes(); },
         "P1363->DER: P1363 signature is empty"},
        {p256, Scheme::Ecdsa, [&] { fail_next("FindObjectsInit", CKR_DEVICE_ERROR); },
         "find private key: Function::FindObjectsInit: PKCS11 error: CKR_DEVICE_ERROR"},
        {rsa, Scheme::Ecdsa, [] {}, "C_Sign (ECDSA): Function::"},  // the token refuses
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        wrapped->signature_output.reset();
        wrapped->calls.clear();
        row.inject();
        auto result = sign(row.cert_id, row.scheme);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().display().rfind(internal + row.expected, 0), 0u)
            << result.error().display();
        EXPECT_EQ(wrapped->count("Logout"), 1);
    }
    wrapped->signature_output.reset();
    EXPECT_TRUE(sign(p256, Scheme::Ecdsa));  // the session is still usable
}

TEST_F(Pkcs11BackendTest, ListingFailuresAndWhatTheyLeaveBehind) {
    open({"main"}, "main");
    Pkcs11Backend other(session());
    const CertificateInfo first = other.list_certificates(Purpose::Any).value().front();
    const std::string device_error = ": PKCS11 error: CKR_DEVICE_ERROR";
    struct Row {
        const char* function;
        int nth;
        std::string expected;
    };
    const Row rows[] = {
        {"FindObjectsInit", 1, "find certificates: Function::FindObjectsInit"},
        {"FindObjects", 1, "find certificates: Function::FindObjects"},
        {"GetAttributeValue", 1, "get_attributes cert: Function::GetAttributeValue"},
        {"FindObjectsInit", 2, "find public key: Function::FindObjectsInit"},
        // Every certificate is read (two calls each) before the first public key.
        {"GetAttributeValue", 9, "get_attributes: Function::GetAttributeValue"},
        {"FindObjectsInit", 3, "find public key: Function::FindObjectsInit"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        wrapped->calls.clear();
        fail_next(row.function, CKR_DEVICE_ERROR, row.nth);
        auto result = backend->list_certificates(Purpose::Any);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error(), BackendError::internal(row.expected + device_error));
        // Every search that began was ended.
        EXPECT_EQ(
            wrapped->count("FindObjectsFinal"),
            wrapped->count("FindObjectsInit") - (std::string(row.function) == "FindObjectsInit"));
    }
    // The last failure came after the first certificate was indexed: it stays signable.
    const bool rsa = first.key_algorithm == KeyAlgorithm::Rsa2048 ||
                     first.key_algorithm == KeyAlgorithm::Rsa4096;
    EXPECT_TRUE(sign(first.cert_id, rsa ? Scheme::RsaPkcs1 : Scheme::Ecdsa, 1));
}

TEST_F(Pkcs11BackendTest, TokensWithUnusualObjects) {
    open({"orphan", "emptyid", "twelve"}, "orphan");
    // The auth certificate has no public-key object.
    EXPECT_EQ(list(Purpose::Sign).size(), 1u);
    EXPECT_EQ(backend->list_certificates(Purpose::Any).error(),
              BackendError::unknown_certificate_id());

    use("emptyid");
    const CertificateList empty_id = list();
    ASSERT_EQ(empty_id.size(), 1u);
    auto signed_hash = sign(empty_id[0].cert_id, Scheme::RsaPkcs1, 1);
    ASSERT_TRUE(signed_hash);
    EXPECT_TRUE(testing::verifies_with(empty_id[0].der, EVP_sha256(), hashes(1)[0],
                                       signed_hash.value()[0]));

    use("twelve");
    wrapped->found_counts.clear();
    EXPECT_EQ(list(Purpose::Sign).size(), 12u);
    EXPECT_EQ(wrapped->found_counts.at(0), 10u);
    EXPECT_EQ(wrapped->found_counts.at(1), 2u);
    EXPECT_EQ(backend->list_certificates(Purpose::Auth).error(),
              BackendError::no_matching_certificates());
}

TEST_F(Pkcs11BackendTest, UnavailableAttributesAreMissingNotErrors) {
    open({"main"}, "main");
    const Session reader = session();
    CK_UTF8CHAR pin[] = {'1', '2', '3', '4'};
    ASSERT_EQ(wrapped->real().C_Login(reader.handle(), CKU_USER, pin, sizeof pin), CKR_OK);
    const Bytes id{0x01};
    const CK_OBJECT_HANDLE key =
        pkcs11::find_by_class_and_id(reader, CKO_PRIVATE_KEY, id).value().at(0);
    // Sensitive, valid, not valid for an RSA key.
    const CK_ATTRIBUTE_TYPE types[] = {CKA_PRIVATE_EXPONENT, CKA_ID, CKA_MODULUS, CKA_EC_PARAMS};
    const pkcs11::Attributes read = pkcs11::read_attributes(reader, key, types).value();
    EXPECT_FALSE(read.contains(CKA_PRIVATE_EXPONENT) || read.contains(CKA_EC_PARAMS));
    EXPECT_EQ(read.at(CKA_ID), id);
    EXPECT_EQ(read.at(CKA_MODULUS).size(), 256u);
}

TEST_F(Pkcs11BackendTest, ModuleSlotsAndSession) {
    EXPECT_EQ(Module::load("/nonexistent/module.so").error().kind(),
              BackendError::Kind::MiddlewareMissing);
    EXPECT_EQ(Module::load("libm.so.6").error().display(),
              "required middleware not found: libm.so.6: not a PKCS#11 module (no "
              "C_GetFunctionList)");

    open({"main"}, "main");
    EXPECT_EQ(Module::load(SoftHsmTokens::module_path()).value(),
              Module::load(SoftHsmTokens::module_path()).value());
    wrapped->all_slots.emplace();
    wrapped->slots_with_token.emplace();
    EXPECT_EQ(pkcs11::first_token_slot(*wrapped->module()).error(), BackendError::no_reader());
    wrapped->all_slots = {4, 7};
    EXPECT_EQ(pkcs11::first_token_slot(*wrapped->module()).error(), BackendError::no_token());
    wrapped->slots_with_token = {7, 4};
    EXPECT_EQ(pkcs11::first_token_slot(*wrapped->module()).value(), 7u);

    backend.reset();
    EXPECT_EQ(wrapped->count("CloseSession"), 1);
}

TEST(Pkcs11PublicKey, KeyAlgorithmFromTheAttributes) {
    const auto ulong_bytes = [](CK_ULONG value) {
        Bytes out(sizeof value);
        std::memcpy(out.data(), &value, sizeof value);
        return out;
    };
    const Bytes p256(kP256CurveParams.begin(), kP256CurveParams.end());
    const Bytes brainpool(kBrainpoolP256r1CurveParams.begin(), kBrainpoolP256r1CurveParams.end());
    const Bytes secp384r1{0x06, 0x05, 0x2B, 0x81, 0x04, 0x00, 0x22};
    struct Row {
        pkcs11::Attributes attributes;
        std::string expected;  // the algorithm's wire name, or the error's display text
    };
    const Row rows[] = {
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_RSA)}, {CKA_MODULUS, Bytes(256)}}, "rsa2048"},
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_RSA)}, {CKA_MODULUS, Bytes(512)}}, "rsa4096"},
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_RSA)}, {CKA_MODULUS, Bytes(257)}},
         "mechanism unsupported: RSA modulus length Some(257) bytes"},
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_RSA)}},
         "mechanism unsupported: RSA modulus length None bytes"},
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_EC)}, {CKA_EC_PARAMS, p256}}, "ec-p256"},
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_EC)}, {CKA_EC_PARAMS, brainpool}}, "ec-brainpoolP256r1"},
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_EC)}, {CKA_EC_PARAMS, secp384r1}},
         "mechanism unsupported: unrecognized EC curve"},
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_EC)}, {CKA_MODULUS, Bytes(256)}},
         "internal backend error: EC public key missing CKA_EC_PARAMS"},
        {{{CKA_KEY_TYPE, ulong_bytes(CKK_EC_EDWARDS)}, {CKA_EC_PARAMS, p256}},
         "mechanism unsupported: key type Some(KeyType { val: 64 })"},
        {{{CKA_MODULUS, Bytes(256)}}, "mechanism unsupported: key type None"},
    };
    for (const Row& row : rows) {
        const auto algorithm = pkcs11::public_key_algorithm(row.attributes);
        EXPECT_EQ(
            algorithm ? std::string(wire_name(algorithm.value())) : algorithm.error().display(),
            row.expected);
    }
    EXPECT_EQ(pkcs11::return_value_text(CKR_PIN_INCORRECT), "CKR_PIN_INCORRECT");
    EXPECT_EQ(pkcs11::return_value_text(CKR_VENDOR_DEFINED + 0x2a), "CKR_VENDOR_DEFINED+0x2a");
    EXPECT_EQ(pkcs11::return_value_text(0x4242), "unknown return value 0x4242");
}

}  // namespace
}  // namespace tavrin
