#include "backend/x509/certificate_fields.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backend/x509/der_canonical.h"
#include "support/test_certificates.h"

namespace tavrin {
namespace {

using testing::AsnTime;
using testing::CertificateOptions;
using testing::DerNode;
using testing::from_hex;
using testing::generalized_time;
using ::testing::HasSubstr;
using testing::make_certificate;
using testing::RawExtension;
using ::testing::StartsWith;
using testing::TestKey;
using testing::utc_time;

constexpr auto kSign = CertPurpose::Sign;
constexpr auto kAuth = CertPurpose::Auth;
const Bytes kKeyUsageOid{0x55, 0x1D, 0x0F};
const char* const kKeyUsage = "2.5.29.15";
const char* const kExtendedKeyUsage = "2.5.29.37";

// A decoding failure is the same for all three functions; returns its text.
std::string common_failure(const Bytes& der) {
    const auto purposes = extract_purposes(der);
    const auto not_after = extract_not_after(der);
    const auto algorithm = extract_key_algorithm(der, 2048);
    if (purposes.ok() || not_after.ok() || algorithm.ok()) return "(accepted)";
    EXPECT_EQ(purposes.error(), not_after.error());
    EXPECT_EQ(algorithm.error(), not_after.error());
    return not_after.error().text;
}

TEST(ExtractPurposes, FollowsKeyUsageAndClientAuth) {
    struct Case {
        const char* key_usage;
        const char* extended_key_usage;
        std::vector<CertPurpose> expected;
    };
    const Case cases[] = {
        {"", "", {}},
        {"nonRepudiation", "", {kSign}},
        {"critical,digitalSignature", "clientAuth", {kAuth}},
        {"digitalSignature,nonRepudiation", "clientAuth", {kSign, kAuth}},
        {"nonRepudiation,digitalSignature", "emailProtection,clientAuth", {kSign, kAuth}},
        {"digitalSignature", "", {}},
        {"digitalSignature", "emailProtection", {}},
        {"digitalSignature", "anyExtendedKeyUsage", {}},
        {"", "clientAuth", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key_usage) + " / " + c.extended_key_usage);
        CertificateOptions options;
        options.key_usage = c.key_usage;
        options.extended_key_usage = c.extended_key_usage;
        const auto purposes = extract_purposes(make_certificate(options));
        ASSERT_TRUE(purposes.ok()) << purposes.error().display();
        EXPECT_EQ(purposes.value(), c.expected);
    }
}

RawExtension key_usage(const char* hex) {
    return {kKeyUsage, false, from_hex(hex)};
}
RawExtension extended_key_usage(const char* hex) {
    return {kExtendedKeyUsage, false, from_hex(hex)};
}

TEST(ExtractPurposes, ReportsBrokenExtensionsKeyUsageFirst) {
    const RawExtension signature = key_usage("03020780");
    const RawExtension client_auth = extended_key_usage("300a 06082b06010505070302");
    const RawExtension integers = extended_key_usage("3003020105");  // not SEQUENCE OF OID
    struct Case {
        const char* name;
        std::vector<RawExtension> raw;
        std::string expected_start;
    };
    const Case cases[] = {
        {"KeyUsage twice", {signature, signature}, "KeyUsage: extension occurs more than once"},
        {"EKU twice", {client_auth, client_auth}, "ExtendedKeyUsage: extension occurs more than"},
        {"EKU not decodable", {signature, integers}, "ExtendedKeyUsage: "},
        {"both broken", {integers, key_usage("0400")}, "KeyUsage: "},
        {"KeyUsage ending in zero bits",
         {key_usage("03030780 00")},
         "KeyUsage: trailing zero bits"},
        {"KeyUsage with bytes after it",
         {key_usage("03020780 00")},
         "KeyUsage: trailing bytes at offset 4 in the extension value"},
        {"EKU with a long-form length",
         {extended_key_usage("30810a 06082b06010505070302")},
         "ExtendedKeyUsage: non-minimal length encoding at offset 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CertificateOptions options;
        options.extra_extensions = c.raw;
        const Bytes der = make_certificate(options);
        const auto purposes = extract_purposes(der);
        ASSERT_FALSE(purposes.ok());
        EXPECT_THAT(purposes.error().text, StartsWith(c.expected_start));
        // Only the purposes read these extensions.
        EXPECT_TRUE(extract_not_after(der).ok());
    }

    CertificateOptions empty_eku;
    empty_eku.extra_extensions = {signature, extended_key_usage("3000")};
    const auto purposes = extract_purposes(make_certificate(empty_eku));
    ASSERT_TRUE(purposes.ok());
    EXPECT_TRUE(purposes.value().empty());
}

TEST(ExtractNotAfter, RendersValidTimesAndRejectsInvalidOnes) {
    struct Case {
        AsnTime not_before;
        AsnTime not_after;
        std::string expected;  // the rendering, or part of the failure text
    };
    const AsnTime ok_before = utc_time("240101000000Z");
    const Case cases[] = {
        {ok_before, utc_time("260910120000Z"), "2026-09-10T12:00:00Z"},
        {ok_before, generalized_time("20260910120000Z"), "2026-09-10T12:00:00Z"},
        {ok_before, utc_time("491231235959Z"), "2049-12-31T23:59:59Z"},
        {ok_before, generalized_time("20500101000000Z"), "2050-01-01T00:00:00Z"},
        {ok_before, utc_time("280229000000Z"), "2028-02-29T00:00:00Z"},
        {utc_time("700101000000Z"), utc_time("700101000000Z"), "1970-01-01T00:00:00Z"},
        {ok_before, utc_time("500101000000Z"), "notAfter 1950-01-01T00:00:00Z lies before 1970"},
        {ok_before, generalized_time("19691231235959Z"), "notAfter 1969-12-31T23:59:59Z lies"},
        {utc_time("691231235959Z"), utc_time("260101000000Z"), "notBefore 1969-12-31T23:59:59Z"},
        {ok_before, utc_time("240101000000+0100"), "notAfter: UTCTime is not of the form"},
        {ok_before, utc_time("2401010000Z"), "notAfter: UTCTime is not of the form"},
        {utc_time("24010100000Z0"), utc_time("260101000000Z"), "notBefore: UTCTime is not"},
        {ok_before, utc_time("240101000060Z"), "notAfter: invalid date or time"},
        {ok_before, utc_time("270229000000Z"), "notAfter: invalid date or time"},
        {ok_before, generalized_time("20240101000000.5Z"), "GeneralizedTime is not of the form"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.not_before.text + " .. " + c.not_after.text);
        CertificateOptions options;
        options.not_before = c.not_before;
        options.not_after = c.not_after;
        const Bytes der = make_certificate(options);
        const auto not_after = extract_not_after(der);
        if (c.expected.size() == 20 && c.expected.back() == 'Z') {
            ASSERT_TRUE(not_after.ok()) << not_after.error().display();
            EXPECT_EQ(not_after.value(), c.expected);
        } else {
            EXPECT_THAT(common_failure(der), HasSubstr(c.expected));
        }
    }
}

TEST(ExtractKeyAlgorithm, AppliesTheSupportedKeyTable) {
    struct Case {
        TestKey key;
        std::optional<std::uint32_t> rsa_bits;
        std::optional<KeyAlgorithm> expected;
        const char* failure;
    };
    // The RSA size is the caller's; the certificate's own modulus is not read.
    const Case cases[] = {
        {TestKey::Rsa2048, 2048, KeyAlgorithm::Rsa2048, ""},
        {TestKey::Rsa2048, 4096, KeyAlgorithm::Rsa4096, ""},
        {TestKey::Rsa2048, 3072, {}, "unsupported RSA modulus size: 3072 bits"},
        {TestKey::Rsa2048, {}, {}, "RSA key: modulus size not supplied by caller"},
        {TestKey::EcP256, {}, KeyAlgorithm::EcP256, ""},
        {TestKey::EcBrainpoolP256r1, 2048, KeyAlgorithm::EcBrainpoolP256r1, ""},
        {TestKey::EcP384, {}, {}, "unrecognized EC curve"},
        {TestKey::EcP256Explicit, {}, {}, "unrecognized EC curve"},
        {TestKey::Ed25519, {}, {}, "unsupported public key algorithm OID: 1.3.101.112"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.key));
        CertificateOptions options;
        options.key = c.key;
        const auto algorithm = extract_key_algorithm(make_certificate(options), c.rsa_bits);
        if (c.expected) {
            ASSERT_TRUE(algorithm.ok()) << algorithm.error().display();
            EXPECT_EQ(algorithm.value(), *c.expected);
        } else {
            ASSERT_FALSE(algorithm.ok());
            EXPECT_EQ(algorithm.error().text, c.failure);
        }
    }

    // id-ecPublicKey without any parameters.
    DerNode tree = testing::parse_der(make_certificate({}));
    DerNode& spki_algorithm = tree.children[0].children[6].children[0];
    spki_algorithm.children.resize(1);
    const auto missing = extract_key_algorithm(testing::encode_der(tree), {});
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().display(),
              "failed to parse certificate: EC key missing curve parameters");
}

TEST(StrictDer, EveryFunctionRejectsNonDerCertificates) {
    CertificateOptions options;
    options.key_usage = "critical,digitalSignature";
    options.extended_key_usage = "clientAuth";
    options.common_names = {"Alpha", "Beta"};  // one RDN holding a SET of two
    const Bytes original = make_certificate(options);
    ASSERT_EQ(common_failure(original), "(accepted)");

    struct Case {
        const char* name;
        std::function<void(DerNode&)> mutate;
        std::string expected;
    };
    const Case cases[] = {
        {"long-form length that fits the short form",
         [](DerNode& c) { testing::tbs_field(c, 0xA0).long_length = true; },
         "non-minimal length encoding at offset 8"},
        {"long-form length with a leading zero", [](DerNode& c) { c.long_length = true; },
         "non-minimal length encoding at offset 1"},
        {"explicit critical FALSE",
         [](DerNode& c) { testing::extension(c, kKeyUsageOid).children.at(1).content = {0x00}; },
         "explicit default critical FALSE at offset"},
        {"SET of the RDN out of order",
         [](DerNode& c) {
             auto& set = c.children[0].children[5].children.at(0).children;  // subject RDN
             std::swap(set.at(0), set.at(1));
         },
         "SET elements out of DER order"},
        {"explicit default version",
         [](DerNode& c) {
             testing::tbs_field(c, 0xA0).children.at(0).content = {0x00};
             c.children[0].children.pop_back();  // a v1 certificate has no extensions
         },
         "explicit default version v1"},
        {"serial with a leading zero",
         [](DerNode& c) {
             Bytes& serial = c.children[0].children[1].content;
             serial.insert(serial.begin(), 0x00);
         },
         "illegal padding"},  // the decoder's own text
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DerNode tree = testing::parse_der(original);
        c.mutate(tree);
        const std::string failure = common_failure(testing::encode_der(tree));
        EXPECT_NE(failure, "(accepted)");
        EXPECT_THAT(failure, HasSubstr(c.expected));
    }

    Bytes trailing = original;
    trailing.push_back(0x00);
    EXPECT_EQ(common_failure(trailing),
              "trailing bytes after the certificate at offset " + std::to_string(original.size()));

    // The decoder's own text for plain malformed input, whatever it says.
    const Bytes truncated(original.begin(), original.end() - 1);
    EXPECT_THAT(common_failure(truncated), HasSubstr("asn1"));
    EXPECT_THAT(common_failure({}), HasSubstr("asn1"));
}

TEST(CanonicalDer, AcceptsOnlyCanonicalEncodings) {
    struct Case {
        std::string hex;
        const char* failure;  // empty: accepted
    };
    const Case cases[] = {
        {"0101FF", ""},
        {"010100", ""},
        {"010101", "BOOLEAN value 0x01 at offset 0 is not DER"},
        {"3080 0500 0000", "indefinite length at offset 1"},
        {"048105 0102030405", "non-minimal length encoding at offset 1"},
        {"04820080" + std::string(256, '0'), "non-minimal length encoding at offset 1"},
        {"3005 0201", "content length exceeds the input at offset 1"},
        {"3003 020100 00", "trailing bytes at offset 5"},
        {"020100", ""},
        {"02020080", ""},
        {"0202007F", "non-minimal INTEGER encoding at offset 0"},
        {"030100", ""},
        {"030107", "invalid unused-bits count"},
        {"03020780", ""},
        {"03020781", "non-zero unused bits"},
        {"0603550403", ""},
        {"0603808101", "non-minimal OBJECT IDENTIFIER"},
        {"060255", "content length exceeds the input at offset 1"},
        {"060181", "malformed OBJECT IDENTIFIER"},
        {"2403 040100", "constructed encoding of universal type 4 at offset 0"},
        {"1000", "primitive encoding of universal type 16"},
        {"3106 020101 020102", ""},
        {"3106 020102 020101", "SET elements out of DER order at offset 0"},
        {"1F1E00", "non-minimal tag encoding"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hex);
        const auto result = check_canonical_der(from_hex(c.hex));
        if (*c.failure == '\0') {
            EXPECT_TRUE(result.ok()) << result.error();
        } else {
            ASSERT_FALSE(result.ok());
            EXPECT_THAT(result.error(), HasSubstr(c.failure));
        }
    }

    Bytes deep;
    for (int i = 0; i < 70; ++i) {
        const auto size = static_cast<std::uint8_t>(deep.size());
        deep.insert(deep.begin(), size);
        if (size >= 0x80) deep.insert(deep.begin(), 0x81);
        deep.insert(deep.begin(), 0x30);
    }
    const auto nested = check_canonical_der(deep);
    ASSERT_FALSE(nested.ok());
    EXPECT_THAT(nested.error(), HasSubstr("nesting too deep"));
}

}  // namespace
}  // namespace tavrin
