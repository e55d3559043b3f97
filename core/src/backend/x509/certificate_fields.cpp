#include "backend/x509/certificate_fields.h"

#include <openssl/asn1.h>
#include <openssl/asn1t.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/provider.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <string_view>

#include "backend/x509/der_canonical.h"
#include "backend/x509/openssl_error.h"
#include "backend/x509/supported_keys.h"
#include "common/bytes.h"

namespace tavrin {
namespace {

struct X509Free {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct BitStringFree {
    void operator()(ASN1_BIT_STRING* bits) const { ASN1_BIT_STRING_free(bits); }
};
struct ExtendedKeyUsageFree {
    void operator()(EXTENDED_KEY_USAGE* eku) const { EXTENDED_KEY_USAGE_free(eku); }
};
struct OpensslFree {
    void operator()(unsigned char* p) const { OPENSSL_free(p); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;
using BitStringPtr = std::unique_ptr<ASN1_BIT_STRING, BitStringFree>;
using ExtendedKeyUsagePtr = std::unique_ptr<EXTENDED_KEY_USAGE, ExtendedKeyUsageFree>;
using OpensslBuffer = std::unique_ptr<unsigned char, OpensslFree>;

constexpr std::string_view kClientAuthOid = "1.3.6.1.5.5.7.3.2";
constexpr std::string_view kEcPublicKeyOid = "1.2.840.10045.2.1";
constexpr std::string_view kRsaEncryptionOid = "1.2.840.113549.1.1.1";
// id-etsi-qcs-QcCompliance: the certificate is issued as a qualified one.
constexpr std::string_view kQcComplianceOid = "0.4.0.1862.1.1";
constexpr std::uint8_t kVersionTag = 0xA0;     // [0] EXPLICIT in TBSCertificate
constexpr std::uint8_t kExtensionsTag = 0xA3;  // [3] EXPLICIT in TBSCertificate
constexpr std::uint8_t kBooleanTag = 0x01;
// Where a decoder reads from when the input is empty, never through null.
constexpr unsigned char kNothing = 0;

X509Error error(std::string text) {
    return X509Error{std::move(text)};
}

std::span<const std::uint8_t> string_bytes(const ASN1_STRING* value) {
    return {ASN1_STRING_get0_data(value), static_cast<std::size_t>(ASN1_STRING_length(value))};
}

// Dotted-decimal text of an OID, never a name.
std::string oid_text(const ASN1_OBJECT* object) {
    const int length = OBJ_obj2txt(nullptr, 0, object, 1);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    OBJ_obj2txt(text.data(), length + 1, object, 1);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// --- Validity ---------------------------------------------------------------

struct DateTime {
    int year, month, day, hour, minute, second;
};

std::string render(const DateTime& t) {
    char text[80];  // room for any int, so that no field can be cut off
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

bool leap_year(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leap_year(year) ? 29 : kDays[month - 1];
}

// RFC 5280 times: UTCTime YYMMDDHHMMSSZ (YY of 50 and above is 19YY) or
// GeneralizedTime YYYYMMDDHHMMSSZ, no fractions, no offsets, and nothing
// before the Unix epoch.
Result<DateTime, std::string> parse_time(const ASN1_TIME* time, std::string_view field) {
    const auto text = string_bytes(time);
    const bool utc = ASN1_STRING_type(time) == V_ASN1_UTCTIME;
    const std::size_t expected = utc ? 13 : 15;
    const std::string name(field);
    if (!utc && ASN1_STRING_type(time) != V_ASN1_GENERALIZEDTIME) {
        return fail(name + ": not a UTCTime or GeneralizedTime");
    }
    const bool digits =
        text.size() == expected && std::all_of(text.begin(), text.end() - 1,
                                               [](std::uint8_t c) { return c >= '0' && c <= '9'; });
    if (!digits || text.back() != 'Z') {
        return fail(name + (utc ? ": UTCTime is not of the form YYMMDDHHMMSSZ"
                                : ": GeneralizedTime is not of the form YYYYMMDDHHMMSSZ"));
    }
    std::size_t pos = 0;
    const auto number = [&](std::size_t width) {
        int value = 0;
        for (std::size_t i = 0; i < width; ++i)
            value = value * 10 + (text[pos++] - '0');
        return value;
    };
    DateTime t{};
    if (utc) {
        const int yy = number(2);
        t.year = yy >= 50 ? 1900 + yy : 2000 + yy;
    } else {
        t.year = number(4);
    }
    t.month = number(2);
    t.day = number(2);
    t.hour = number(2);
    t.minute = number(2);
    t.second = number(2);
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > days_in_month(t.year, t.month) ||
        t.hour > 23 || t.minute > 59 || t.second > 59) {
        return fail(name + ": invalid date or time");
    }
    if (t.year < 1970) return fail(name + " " + render(t) + " lies before 1970-01-01T00:00:00Z");
    return t;
}

// --- Decoding ---------------------------------------------------------------

std::size_t first_difference(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first -
                                    a.begin());
}

// Offsets of the values inside the constructed value at `offset`; the input
// has passed check_canonical_der, so every header reads.
std::vector<std::size_t> children(std::span<const std::uint8_t> der, std::size_t offset) {
    std::vector<std::size_t> result;
    auto header = read_der_header(der, offset);
    if (!header) return result;
    const std::size_t end = offset + header.value().header_length + header.value().content_length;
    for (std::size_t pos = offset + header.value().header_length; pos < end;) {
        auto child = read_der_header(der.first(end), pos);
        if (!child) break;
        result.push_back(pos);
        pos += child.value().header_length + child.value().content_length;
    }
    return result;
}

// The one octet of content of a one-octet value at `offset`, if it is that.
std::optional<std::uint8_t> single_octet(std::span<const std::uint8_t> der, std::size_t offset) {
    auto header = read_der_header(der, offset);
    if (!header || header.value().content_length != 1) return std::nullopt;
    return der[offset + header.value().header_length];
}

// DER leaves out a field that holds its DEFAULT; the certificate has two:
// version (v1) and an extension's critical flag (FALSE). OpenSSL keeps both
// as received, so they are looked for in the bytes.
Result<Unit, std::string> check_defaults(std::span<const std::uint8_t> der) {
    const auto top = children(der, 0);
    if (top.empty()) return Unit{};
    for (const std::size_t field : children(der, top[0])) {
        if (der[field] == kVersionTag) {
            const auto version = children(der, field);
            if (!version.empty() && single_octet(der, version[0]) == 0) {
                return fail("explicit default version v1 at offset " + std::to_string(field) +
                            " is not DER");
            }
        }
        if (der[field] != kExtensionsTag) continue;
        const auto list = children(der, field);
        for (const std::size_t ext : list.empty() ? list : children(der, list[0])) {
            const auto parts = children(der, ext);
            if (parts.size() == 3 && der[parts[1]] == kBooleanTag &&
                single_octet(der, parts[1]) == 0) {
                return fail("explicit default critical FALSE at offset " +
                            std::to_string(parts[1]) + " is not DER");
            }
        }
    }
    return Unit{};
}

// Rules the schema-free walk cannot see. Re-encoding what OpenSSL decoded
// catches a field it normalises; it hands back the received TBSCertificate
// unless i2d_re_X509_tbs drops that cache first.
Result<Unit, std::string> check_schema_der(X509* cert, std::span<const std::uint8_t> der) {
    if (auto defaults = check_defaults(der); !defaults) return defaults;
    ERR_clear_error();
    if (i2d_re_X509_tbs(cert, nullptr) <= 0) {
        return fail(take_openssl_error("certificate could not be re-encoded"));
    }
    unsigned char* out = nullptr;
    const int length = i2d_X509(cert, &out);
    const OpensslBuffer owner(out);
    if (length <= 0 || out == nullptr) {
        return fail(take_openssl_error("certificate could not be re-encoded"));
    }
    const std::span<const std::uint8_t> again(out, static_cast<std::size_t>(length));
    if (!std::ranges::equal(again, der)) {
        return fail("a field is not in DER form (re-encoding differs at offset " +
                    std::to_string(first_difference(der, again)) + ")");
    }
    return Unit{};
}

// A library context with no algorithms (only the null provider). d2i_X509
// decodes the subject's public key into a key object as it goes, which costs
// most of a certificate's parse (it builds a decoder for the key type) and is
// used only to verify signatures; a certificate decoded in this context keeps
// every field, with the key left undecoded. issued_by decodes again in full.
OSSL_LIB_CTX* no_algorithms() {
    static OSSL_LIB_CTX* const context = [] {
        OSSL_LIB_CTX* made = OSSL_LIB_CTX_new();
        // Without a provider of its own the context would load the default one.
        if (made != nullptr && OSSL_PROVIDER_load(made, "null") == nullptr) {
            OSSL_LIB_CTX_free(made);
            made = nullptr;
        }
        return made;
    }();
    return context;
}

// The certificate as d2i_X509 decodes it, with or without its public key.
X509* decode_x509(const unsigned char** p, long length, bool with_key) {
    OSSL_LIB_CTX* context = with_key ? nullptr : no_algorithms();
    if (!with_key && context == nullptr) return d2i_X509(nullptr, p, length);
    return reinterpret_cast<X509*>(
        ASN1_item_d2i_ex(nullptr, p, length, ASN1_ITEM_rptr(X509), context, nullptr));
}

Result<X509Ptr, X509Error> parse_certificate(std::span<const std::uint8_t> der) {
    ERR_clear_error();
    if (der.size() > static_cast<std::size_t>(std::numeric_limits<long>::max())) {
        return error("certificate too large");
    }
    const unsigned char* const begin = der.empty() ? &kNothing : der.data();
    const unsigned char* p = begin;
    X509Ptr cert(decode_x509(&p, static_cast<long>(der.size()), false));
    if (!cert) return error(take_openssl_error("certificate could not be decoded"));
    const auto consumed = static_cast<std::size_t>(p - begin);
    if (consumed != der.size()) {
        return error("trailing bytes after the certificate at offset " + std::to_string(consumed));
    }
    if (auto canonical = check_canonical_der(der); !canonical) return error(canonical.error());
    if (auto schema = check_schema_der(cert.get(), der); !schema) return error(schema.error());
    if (auto t = parse_time(X509_get0_notBefore(cert.get()), "notBefore"); !t) {
        return error(t.error());
    }
    if (auto t = parse_time(X509_get0_notAfter(cert.get()), "notAfter"); !t) {
        return error(t.error());
    }
    return cert;
}

// --- Extensions -------------------------------------------------------------

// The extension's DER value, nothing when absent; an error text when the
// extension occurs more than once.
Result<std::optional<std::span<const std::uint8_t>>, std::string> single_extension(X509* cert,
                                                                                   int nid) {
    const int index = X509_get_ext_by_NID(cert, nid, -1);
    if (index < 0) return std::optional<std::span<const std::uint8_t>>{};
    if (X509_get_ext_by_NID(cert, nid, index) >= 0) return fail("extension occurs more than once");
    return std::optional(string_bytes(X509_EXTENSION_get_data(X509_get_ext(cert, index))));
}

// Decodes an extension value with `d2i`, then requires it to be canonical DER
// filling the whole OCTET STRING (the library's decoder checks neither).
template <class Ptr, class D2i>
Result<Ptr, std::string> decode_extension(std::span<const std::uint8_t> value, D2i d2i) {
    ERR_clear_error();
    const unsigned char* p = value.empty() ? &kNothing : value.data();
    Ptr decoded(d2i(nullptr, &p, static_cast<long>(value.size())));
    if (!decoded) return fail(take_openssl_error("extension value could not be decoded"));
    if (auto canonical = check_canonical_der(value); !canonical) {
        return fail(canonical.error() + " in the extension value");
    }
    return decoded;
}

struct KeyUsageBits {
    bool digital_signature = false;
    bool non_repudiation = false;
};

Result<KeyUsageBits, X509Error> key_usage(X509* cert) {
    constexpr std::string_view kPrefix = "KeyUsage: ";
    auto value = single_extension(cert, NID_key_usage);
    if (!value) return error(std::string(kPrefix) + value.error());
    if (!value.value()) return KeyUsageBits{};
    const auto der = *value.value();
    auto bits = decode_extension<BitStringPtr>(der, d2i_ASN1_BIT_STRING);
    if (!bits) return error(std::string(kPrefix) + bits.error());
    // A named bit list in DER ends with its last set bit. The value is a
    // canonical BIT STRING here, so its header reads and its padding is valid.
    if (auto header = read_der_header(der, 0); header && header.value().content_length > 1) {
        const unsigned unused = der[header.value().header_length];
        if (((der.back() >> unused) & 1u) == 0) {
            return error(std::string(kPrefix) + "trailing zero bits in the bit list are not DER");
        }
    }
    return KeyUsageBits{ASN1_BIT_STRING_get_bit(bits.value().get(), 0) == 1,
                        ASN1_BIT_STRING_get_bit(bits.value().get(), 1) == 1};
}

Result<bool, X509Error> has_client_auth(X509* cert) {
    constexpr std::string_view kPrefix = "ExtendedKeyUsage: ";
    auto value = single_extension(cert, NID_ext_key_usage);
    if (!value) return error(std::string(kPrefix) + value.error());
    if (!value.value()) return false;
    auto eku = decode_extension<ExtendedKeyUsagePtr>(*value.value(), d2i_EXTENDED_KEY_USAGE);
    if (!eku) return error(std::string(kPrefix) + eku.error());
    const EXTENDED_KEY_USAGE* purposes = eku.value().get();
    for (int i = 0; i < sk_ASN1_OBJECT_num(purposes); ++i) {
        if (oid_text(sk_ASN1_OBJECT_value(purposes, i)) == kClientAuthOid) return true;
    }
    return false;
}

}  // namespace

void ParsedCertificate::Free::operator()(x509_st* cert) const {
    X509_free(cert);
}

Result<ParsedCertificate, X509Error> ParsedCertificate::parse(std::span<const std::uint8_t> der) {
    auto cert = parse_certificate(der);
    if (!cert) return std::move(cert).error();
    return ParsedCertificate(std::unique_ptr<x509_st, Free>(cert.value().release()));
}

Result<std::vector<CertPurpose>, X509Error> ParsedCertificate::purposes() const {
    auto usage = key_usage(cert_.get());
    if (!usage) return std::move(usage).error();
    auto client_auth = has_client_auth(cert_.get());
    if (!client_auth) return std::move(client_auth).error();

    std::vector<CertPurpose> purposes;
    if (usage.value().non_repudiation) purposes.push_back(CertPurpose::Sign);
    if (usage.value().digital_signature && client_auth.value()) {
        purposes.push_back(CertPurpose::Auth);
    }
    return purposes;
}

Result<std::string, X509Error> ParsedCertificate::not_after() const {
    auto time = parse_time(X509_get0_notAfter(cert_.get()), "notAfter");
    if (!time) return error(time.error());
    return render(time.value());
}

Result<KeyAlgorithm, X509Error> ParsedCertificate::key_algorithm(
    std::optional<std::uint32_t> rsa_modulus_bits) const {
    ASN1_OBJECT* algorithm = nullptr;
    X509_ALGOR* algor = nullptr;
    ERR_clear_error();
    if (X509_PUBKEY_get0_param(&algorithm, nullptr, nullptr, &algor,
                               X509_get_X509_PUBKEY(cert_.get())) != 1) {
        return error(take_openssl_error("subjectPublicKeyInfo could not be read"));
    }
    const std::string oid = oid_text(algorithm);

    if (oid == kEcPublicKeyOid) {
        if (algor == nullptr || algor->parameter == nullptr) {
            return error("EC key missing curve parameters");
        }
        ERR_clear_error();
        unsigned char* out = nullptr;
        const int length = i2d_ASN1_TYPE(algor->parameter, &out);
        const OpensslBuffer owner(out);
        if (length <= 0 || out == nullptr) {
            return error("re-encode EC curve params: " + take_openssl_error("encoding failed"));
        }
        const auto curve = ec_key_algorithm({out, static_cast<std::size_t>(length)});
        if (!curve) return error("unrecognized EC curve");
        return *curve;
    }
    if (oid == kRsaEncryptionOid) {
        if (!rsa_modulus_bits) return error("RSA key: modulus size not supplied by caller");
        const auto rsa = rsa_key_algorithm(*rsa_modulus_bits);
        if (!rsa) {
            return error("unsupported RSA modulus size: " + std::to_string(*rsa_modulus_bits) +
                         " bits");
        }
        return *rsa;
    }
    return error("unsupported public key algorithm OID: " + oid);
}

bool ParsedCertificate::qualified() const {
    auto value = single_extension(cert_.get(), NID_qcStatements);
    if (!value || !value.value()) return false;
    // QCStatements ::= SEQUENCE OF SEQUENCE { statementId OID, statementInfo ANY OPTIONAL }
    const auto statements = *value.value();
    auto outer = read_der_header(statements, 0);
    if (!outer || statements[0] != 0x30) return false;
    std::size_t at = outer.value().header_length;
    const std::size_t end = at + outer.value().content_length;
    while (at < end) {
        auto statement = read_der_header(statements, at);
        if (!statement || statements[at] != 0x30) return false;
        const std::size_t inner = at + statement.value().header_length;
        auto id = read_der_header(statements, inner);
        if (!id || statements[inner] != 0x06) return false;
        const auto* p = statements.data() + inner;
        const long length = static_cast<long>(id.value().header_length + id.value().content_length);
        ASN1_OBJECT* object = d2i_ASN1_OBJECT(nullptr, &p, length);
        if (object == nullptr) return false;
        const bool compliance = oid_text(object) == kQcComplianceOid;
        ASN1_OBJECT_free(object);
        if (compliance) return true;
        at += statement.value().header_length + statement.value().content_length;
    }
    return false;
}

namespace {

// `cert` decoded again with its public key and the default algorithms, as
// signature checks need it; null if that fails.
X509Ptr with_algorithms(X509* cert) {
    unsigned char* out = nullptr;
    const int length = i2d_X509(cert, &out);
    const OpensslBuffer owner(out);
    if (length <= 0 || out == nullptr) return nullptr;
    const unsigned char* p = out;
    return X509Ptr(decode_x509(&p, length, true));
}

}  // namespace

bool ParsedCertificate::issued_by(const ParsedCertificate& issuer) const {
    // The names are already decoded: a certificate whose issuer name is not
    // the candidate's subject is ruled out before the two are decoded again
    // in full and the signature checked. Without this, building the chains
    // of a token's certificates decoded every pair.
    if (X509_NAME_cmp(X509_get_issuer_name(cert_.get()),
                      X509_get_subject_name(issuer.cert_.get())) != 0) {
        return false;
    }
    const X509Ptr subject = with_algorithms(cert_.get());
    const X509Ptr signer = with_algorithms(issuer.cert_.get());
    bool verified = false;
    if (subject && signer && X509_check_issued(signer.get(), subject.get()) == X509_V_OK) {
        EVP_PKEY* key = X509_get0_pubkey(signer.get());
        verified = key != nullptr && X509_verify(subject.get(), key) == 1;
    }
    ERR_clear_error();
    return verified;
}

bool ParsedCertificate::self_issued() const {
    return X509_NAME_cmp(X509_get_issuer_name(cert_.get()), X509_get_subject_name(cert_.get())) ==
           0;
}

Bytes ParsedCertificate::issuer_name() const {
    unsigned char* der = nullptr;
    const int length = i2d_X509_NAME(X509_get_issuer_name(cert_.get()), &der);
    if (length <= 0 || der == nullptr) return {};
    Bytes out(der, der + length);
    OPENSSL_free(der);
    return out;
}

Result<std::vector<CertPurpose>, X509Error> extract_purposes(std::span<const std::uint8_t> der) {
    auto cert = ParsedCertificate::parse(der);
    if (!cert) return std::move(cert).error();
    return cert.value().purposes();
}

Result<std::string, X509Error> extract_not_after(std::span<const std::uint8_t> der) {
    auto cert = ParsedCertificate::parse(der);
    if (!cert) return std::move(cert).error();
    return cert.value().not_after();
}

Result<KeyAlgorithm, X509Error> extract_key_algorithm(
    std::span<const std::uint8_t> der, std::optional<std::uint32_t> rsa_modulus_bits) {
    auto cert = ParsedCertificate::parse(der);
    if (!cert) return std::move(cert).error();
    return cert.value().key_algorithm(rsa_modulus_bits);
}

}  // namespace tavrin
