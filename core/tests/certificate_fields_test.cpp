#include "backend/x509/certificate_fields.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "backend/x509/der_canonical.h"
#include "common/bytes.h"

namespace tavrin {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr auto kSign = CertPurpose::Sign;
constexpr auto kAuth = CertPurpose::Auth;

Bytes from_hex(std::string hex) {
    std::erase(hex, ' ');
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// One DER value: the tag, the minimal length and the parts one after another.
Bytes tlv(std::uint8_t tag, const std::vector<Bytes>& parts) {
    Bytes content;
    for (const Bytes& part : parts)
        content.insert(content.end(), part.begin(), part.end());
    const std::size_t size = content.size();
    Bytes out{tag};
    if (size > 0xFF) {
        out.push_back(0x82);
        out.push_back(static_cast<std::uint8_t>(size >> 8));
    } else if (size >= 0x80) {
        out.push_back(0x81);
    }
    out.push_back(static_cast<std::uint8_t>(size));
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes text(std::uint8_t tag, std::string_view value) {
    return tlv(tag, {Bytes(value.begin(), value.end())});
}
Bytes utc(std::string_view value) {
    return text(0x17, value);
}
Bytes generalized(std::string_view value) {
    return text(0x18, value);
}

// A Name of one RDN holding these common names, in the order given.
Bytes name(std::initializer_list<std::string_view> common_names) {
    std::vector<Bytes> set;
    for (const std::string_view cn : common_names)
        set.push_back(tlv(0x30, {from_hex("0603550403"), text(0x0C, cn)}));
    return tlv(0x30, {tlv(0x31, set)});
}

Bytes extension(const char* oid, const char* value, bool critical = false) {
    return tlv(0x30, {from_hex(oid), critical ? from_hex("0101FF") : Bytes{},
                      tlv(0x04, {from_hex(value)})});
}
Bytes key_usage(const char* value, bool critical = false) {
    return extension("0603551d0f", value, critical);
}
Bytes extended_key_usage(const char* value) {
    return extension("0603551d25", value);
}

constexpr const char* kClientAuth = "300a 06082b06010505070302";

// subjectPublicKeyInfo algorithms. The key bits after them are never decoded.
constexpr const char* kRsa = "300d 06092a864886f70d010101 0500";
constexpr const char* kP256 = "3013 06072a8648ce3d0201 06082a8648ce3d030107";
constexpr const char* kBrainpool = "3014 06072a8648ce3d0201 06092b2403030208010107";
constexpr const char* kP384 = "3010 06072a8648ce3d0201 06052b81040022";
constexpr const char* kEd25519 = "3005 06032b6570";
constexpr const char* kNoCurve = "3009 06072a8648ce3d0201";
// P-256 written out as explicit parameters instead of by name.
constexpr const char* kP256Explicit =
    "30820103 06072a8648ce3d0201 3081f7020101302c06072a8648ce3d0101022100ffffffff00000001000000"
    "000000000000000000ffffffffffffffffffffffff305b0420ffffffff00000001000000000000000000000000"
    "fffffffffffffffffffffffc04205ac635d8aa3a93e7b3ebbd55769886bc651d06b0cc53b0f63bce3c3e27d260"
    "4b031500c49d360886e704936a6678e1139d26b7819f7e900441046b17d1f2e12c4247f8bce6e563a440f27703"
    "7d812deb33a0f4a13945d898c2964fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51"
    "f5022100ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551020101";

// The fields of a certificate, written as given. It is not signed: the
// readers never check a signature.
struct Certificate {
    Bytes version = from_hex("a003020102");  // v3
    Bytes serial = from_hex("02021234");
    Bytes subject = name({"Beta", "Alpha"});  // one RDN holding a SET of two, in DER order
    Bytes not_before = utc("240101000000Z");
    Bytes not_after = utc("340101000000Z");
    const char* key = kP256;
    std::vector<Bytes> extensions = {key_usage("03020780", true), extended_key_usage(kClientAuth)};

    Bytes der() const {
        const Bytes algorithm = from_hex("300a 06082a8648ce3d040302");  // ecdsa-with-SHA256
        const Bytes validity = tlv(0x30, {not_before, not_after});
        const Bytes public_key = tlv(0x30, {from_hex(key), from_hex("0303000102")});
        const Bytes tagged = extensions.empty() ? Bytes{} : tlv(0xA3, {tlv(0x30, extensions)});
        const Bytes tbs =
            tlv(0x30, {version, serial, algorithm, subject, validity, subject, public_key, tagged});
        return tlv(0x30, {tbs, algorithm, from_hex("030100")});
    }
};

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

TEST(ExtractPurposes, FollowsKeyUsageAndClientAuthAndReportsBrokenExtensionsKeyUsageFirst) {
    // nonRepudiation is bit 1 (0x40), digitalSignature bit 0 (0x80).
    const Bytes signature = key_usage("03020780");
    const Bytes client_auth = extended_key_usage(kClientAuth);
    const Bytes integers = extended_key_usage("3003020105");  // not SEQUENCE OF OID
    const struct {
        std::vector<Bytes> extensions;
        std::vector<CertPurpose> expected;
        std::string failure;  // the start of the text; empty: the purposes are read
    } cases[] = {
        {{}, {}, ""},
        {{key_usage("03020640")}, {kSign}, ""},
        {{key_usage("03020780", true), client_auth}, {kAuth}, ""},
        {{key_usage("030206c0"), client_auth}, {kSign, kAuth}, ""},
        {{key_usage("030206c0"),
          extended_key_usage("3014 06082b06010505070304 06082b06010505070302")},
         {kSign, kAuth},
         ""},
        {{signature}, {}, ""},
        {{signature, extended_key_usage("3006 0604551d2500")}, {}, ""},  // anyExtendedKeyUsage
        {{signature, extended_key_usage("3000")}, {}, ""},
        {{client_auth}, {}, ""},
        {{signature, signature}, {}, "KeyUsage: extension occurs more than once"},
        {{client_auth, client_auth}, {}, "ExtendedKeyUsage: extension occurs more than once"},
        {{signature, integers}, {}, "ExtendedKeyUsage: "},
        {{integers, key_usage("0400")}, {}, "KeyUsage: "},
        {{key_usage("03030780 00")}, {}, "KeyUsage: trailing zero bits"},
        {{key_usage("03020780 00")}, {}, "KeyUsage: trailing bytes at offset 4 in the extension"},
        {{extended_key_usage("30810a 06082b06010505070302")},
         {},
         "ExtendedKeyUsage: non-minimal length encoding at offset 1"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const Bytes der = Certificate{.extensions = cases[i].extensions}.der();
        const auto purposes = extract_purposes(der);
        if (cases[i].failure.empty()) {
            ASSERT_TRUE(purposes.ok()) << purposes.error().display();
            EXPECT_EQ(purposes.value(), cases[i].expected);
        } else {
            ASSERT_FALSE(purposes.ok());
            EXPECT_THAT(purposes.error().text, StartsWith(cases[i].failure));
            EXPECT_TRUE(extract_not_after(der).ok());  // only the purposes read the two
        }
    }
}

TEST(ExtractNotAfter, RendersValidTimesAndRejectsInvalidOnes) {
    const Bytes ok_before = utc("240101000000Z");
    const struct {
        Bytes not_before;
        Bytes not_after;
        std::string expected;  // the rendering, or part of the failure text
    } cases[] = {
        {ok_before, utc("260910120000Z"), "2026-09-10T12:00:00Z"},
        {ok_before, utc("491231235959Z"), "2049-12-31T23:59:59Z"},
        {ok_before, generalized("20500101000000Z"), "2050-01-01T00:00:00Z"},
        {ok_before, utc("280229000000Z"), "2028-02-29T00:00:00Z"},
        {utc("700101000000Z"), utc("700101000000Z"), "1970-01-01T00:00:00Z"},
        {ok_before, utc("500101000000Z"), "notAfter 1950-01-01T00:00:00Z lies before 1970"},
        {ok_before, generalized("19691231235959Z"), "notAfter 1969-12-31T23:59:59Z lies"},
        {utc("691231235959Z"), utc("260101000000Z"), "notBefore 1969-12-31T23:59:59Z"},
        {ok_before, utc("240101000000+0100"), "notAfter: UTCTime is not of the form"},
        {ok_before, utc("2401010000Z"), "notAfter: UTCTime is not of the form"},
        {utc("24010100000Z0"), utc("260101000000Z"), "notBefore: UTCTime is not"},
        {ok_before, utc("240101000060Z"), "notAfter: invalid date or time"},
        {ok_before, utc("270229000000Z"), "notAfter: invalid date or time"},
        {ok_before, generalized("20240101000000.5Z"), "GeneralizedTime is not of the form"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        const Bytes der = Certificate{.not_before = c.not_before, .not_after = c.not_after}.der();
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
    const struct {
        const char* key;
        std::optional<std::uint32_t> rsa_bits;
        std::optional<KeyAlgorithm> expected;
        const char* failure;
    } cases[] = {
        // The RSA size is the caller's; the certificate's own modulus is not read. Sizes
        // without a key algorithm are the keychain backend's listing failures.
        {kRsa, 2048, KeyAlgorithm::Rsa2048, ""},
        {kRsa, 4096, KeyAlgorithm::Rsa4096, ""},
        {kP256, {}, KeyAlgorithm::EcP256, ""},
        {kBrainpool, 2048, KeyAlgorithm::EcBrainpoolP256r1, ""},
        {kP384, {}, {}, "unrecognized EC curve"},
        {kP256Explicit, {}, {}, "unrecognized EC curve"},
        {kNoCurve, {}, {}, "EC key missing curve parameters"},
        {kEd25519, {}, {}, "unsupported public key algorithm OID: 1.3.101.112"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const auto algorithm = extract_key_algorithm(Certificate{.key = c.key}.der(), c.rsa_bits);
        if (c.expected) {
            ASSERT_TRUE(algorithm.ok()) << algorithm.error().display();
            EXPECT_EQ(algorithm.value(), *c.expected);
        } else {
            ASSERT_FALSE(algorithm.ok());
            EXPECT_EQ(algorithm.error().text, c.failure);
        }
    }
}

TEST(StrictDer, EveryFunctionRejectsNonDerCertificates) {
    const Bytes der = Certificate{}.der();
    ASSERT_EQ(common_failure(der), "(accepted)");
    const Bytes critical_false =
        tlv(0x30, {from_hex("0603551d0f 010100"), from_hex("0404 03020780")});
    const struct {
        Certificate certificate;
        std::string expected;
    } cases[] = {
        {{.version = from_hex("a08103020102")}, "non-minimal length encoding at offset 7"},
        {{.extensions = {critical_false}}, "explicit default critical FALSE at offset"},
        {{.subject = name({"Alpha", "Beta"})}, "SET elements out of DER order"},
        // A v1 certificate has no extensions.
        {{.version = from_hex("a003020100"), .extensions = {}}, "explicit default version v1"},
        {{.serial = from_hex("0203001234")}, "illegal padding"},  // the decoder's own text
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_THAT(common_failure(c.certificate.der()), HasSubstr(c.expected));
    }

    Bytes trailing = der;
    trailing.push_back(0x00);
    EXPECT_EQ(common_failure(trailing),
              "trailing bytes after the certificate at offset " + std::to_string(der.size()));

    // The decoder's own text for plain malformed input, whatever it says.
    EXPECT_THAT(common_failure(Bytes(der.begin(), der.end() - 1)), HasSubstr("asn1"));
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
    for (int i = 0; i < 70; ++i)
        deep = tlv(0x30, {deep});
    const auto nested = check_canonical_der(deep);
    ASSERT_FALSE(nested.ok());
    EXPECT_THAT(nested.error(), HasSubstr("nesting too deep"));
}

}  // namespace
}  // namespace tavrin
