// The identity-store module's results cross into the core as plain records:
// what the module lays out, the core must read back unchanged, and what a
// module gets wrong must arrive as an internal error, not as garbage.

#include <gtest/gtest.h>

#include <stdexcept>

#include "backend/store_module/outcome_layout.h"
#include "backend/store_module/outcome_reading.h"

namespace tavrin::store {
namespace {

// Releases what a test laid out.
struct LaidOut {
    TavrinStoreOutcome outcome{};
    LaidOut() { outcome.retries_left = -1; }
    ~LaidOut() { release_outcome(&outcome); }
};

CertificateInfo full_certificate() {
    CertificateInfo info;
    info.cert_id = std::string(64, 'a');
    info.der = Bytes{0x30, 0x00, 0x01, 0xff};
    info.chain = {Bytes{0x30, 0x01}, Bytes{}, Bytes{0x30, 0x02, 0x00}};
    info.key_algorithm = KeyAlgorithm::EcBrainpoolP256r1;
    info.purposes = {CertPurpose::Sign, CertPurpose::Auth};
    info.token_label = std::string(
        "Karta \xc5\x99"
        "editele\0X",
        18);
    info.backend = Backend::Keychain;
    info.not_after = "2030-01-31T23:59:59Z";
    info.qualified = false;
    return info;
}

TEST(StoreBoundary, CertificatesCrossUnchanged) {
    CertificateInfo bare;
    bare.cert_id = std::string(64, 'b');
    bare.key_algorithm = KeyAlgorithm::Rsa2048;
    bare.backend = Backend::Pkcs11;
    LaidOut laid;
    put_certificates(&laid.outcome, {full_certificate(), bare});

    auto read = certificates_of(laid.outcome);
    ASSERT_TRUE(read) << read.error().display();
    ASSERT_EQ(read.value().size(), 2u);
    const CertificateInfo& full = read.value()[0];
    const CertificateInfo expected = full_certificate();
    EXPECT_EQ(full.cert_id, expected.cert_id);
    EXPECT_EQ(full.der, expected.der);
    EXPECT_EQ(full.chain, expected.chain);
    EXPECT_EQ(full.key_algorithm, expected.key_algorithm);
    EXPECT_EQ(full.purposes, expected.purposes);
    EXPECT_EQ(full.token_label, expected.token_label);
    EXPECT_EQ(full.backend, expected.backend);
    EXPECT_EQ(full.not_after, expected.not_after);
    EXPECT_EQ(full.qualified, std::optional<bool>(false));

    const CertificateInfo& second = read.value()[1];
    EXPECT_EQ(second.cert_id, bare.cert_id);
    EXPECT_TRUE(second.der.empty());
    EXPECT_TRUE(second.chain.empty());
    EXPECT_TRUE(second.purposes.empty());
    EXPECT_FALSE(second.token_label.has_value());
    EXPECT_FALSE(second.qualified.has_value());
    EXPECT_EQ(second.backend, Backend::Pkcs11);
}

TEST(StoreBoundary, SignaturesAndApprovalCrossUnchanged) {
    LaidOut signed_;
    put_signatures(&signed_.outcome, {Bytes{1, 2, 3}, Bytes{}, Bytes(512, 0x7f)});
    auto signatures = signatures_of(signed_.outcome);
    ASSERT_TRUE(signatures);
    EXPECT_EQ(signatures.value(), (SignatureList{Bytes{1, 2, 3}, Bytes{}, Bytes(512, 0x7f)}));

    LaidOut approved;
    approved.outcome.approval = static_cast<std::uint8_t>(KeyApproval::PinPad);
    auto approval = approval_of(approved.outcome);
    ASSERT_TRUE(approval);
    EXPECT_EQ(approval.value(), KeyApproval::PinPad);
}

TEST(StoreBoundary, EveryErrorCrossesWithItsTextAndCount) {
    const BackendError errors[] = {
        BackendError::no_reader(),
        BackendError::no_token("C_Login: CKR_DEVICE_REMOVED"),
        BackendError::no_matching_certificates(),
        BackendError::unknown_certificate_id(),
        BackendError::pin_incorrect(),
        BackendError::pin_incorrect(2),
        BackendError::pin_blocked(),
        BackendError::mechanism_unsupported("ecdsa with rsa2048"),
        BackendError::middleware_missing("install the card's module"),
        BackendError::internal("find certificates: SEC_ERROR_BAD_DATABASE"),
        BackendError::user_cancelled("cancelled at the reader"),
    };
    for (const BackendError& error : errors) {
        LaidOut laid;
        put_error(&laid.outcome, error);
        EXPECT_EQ(error_of(laid.outcome), error) << error.display();
        auto listed = certificates_of(laid.outcome);
        ASSERT_FALSE(listed);
        EXPECT_EQ(listed.error(), error);
    }
}

TEST(StoreBoundary, WhatAModuleThrowsBecomesAnInternalErrorNamingTheStep) {
    LaidOut thrown;
    guarded(&thrown.outcome, "list certificates", [] { throw std::runtime_error("boom"); });
    EXPECT_EQ(error_of(thrown.outcome), BackendError::internal("list certificates: boom"));

    LaidOut odd;
    guarded(&odd.outcome, "sign", [] { throw 7; });
    EXPECT_EQ(error_of(odd.outcome), BackendError::internal("sign: unknown exception"));

    LaidOut exhausted;
    guarded(&exhausted.outcome, "sign", [] { throw std::bad_alloc(); });
    EXPECT_EQ(error_of(exhausted.outcome),
              BackendError::internal("identity-store module: out of memory"));
}

TEST(StoreBoundary, ValuesOutOfRangeAreInternalErrors) {
    TavrinStoreOutcome unknown_kind{};
    unknown_kind.error_kind = 99;
    EXPECT_EQ(error_of(unknown_kind),
              BackendError::internal("identity-store module: unknown error kind 99"));

    TavrinStoreOutcome approval{};
    approval.approval = 9;
    EXPECT_FALSE(approval_of(approval));

    const std::uint8_t bad_purpose = 5;
    TavrinStoreCertificate record{};
    record.purposes = &bad_purpose;
    record.purpose_count = 1;
    TavrinStoreOutcome listed{};
    listed.certificates = &record;
    listed.certificate_count = 1;
    auto read = certificates_of(listed);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind(), BackendError::Kind::Internal);

    record.purpose_count = 0;
    record.key_algorithm = 4;
    EXPECT_FALSE(certificates_of(listed));
}

}  // namespace
}  // namespace tavrin::store
