#include "support/test_certificates.h"

#include <openssl/asn1.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace tavrin::testing {
namespace {

// Owners of OpenSSL objects, freed with the function named.
template <class T, auto Free>
using Owned = std::unique_ptr<T, decltype([](T* p) { Free(p); })>;
using EvpPkeyPtr = Owned<EVP_PKEY, EVP_PKEY_free>;

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test certificate: ") + what);
}

EvpPkeyPtr generate_ec(const char* curve, bool explicit_parameters) {
    Owned<EVP_PKEY_CTX, EVP_PKEY_CTX_free> context(
        EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    check(context && EVP_PKEY_keygen_init(context.get()) == 1, "EC keygen init");
    char* group = const_cast<char*>(curve);
    char* encoding = const_cast<char*>(explicit_parameters ? OSSL_PKEY_EC_ENCODING_EXPLICIT
                                                           : OSSL_PKEY_EC_ENCODING_GROUP);
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_EC_ENCODING, encoding, 0),
        OSSL_PARAM_construct_end()};
    check(EVP_PKEY_CTX_set_params(context.get(), params) == 1, "EC keygen parameters");
    EVP_PKEY* key = nullptr;
    check(EVP_PKEY_generate(context.get(), &key) == 1, "EC keygen");
    return EvpPkeyPtr(key);
}

EvpPkeyPtr generate(TestKey type) {
    switch (type) {
        case TestKey::Rsa2048:
            return EvpPkeyPtr(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", std::size_t{2048}));
        case TestKey::EcP256:
            return generate_ec("P-256", false);
        case TestKey::EcBrainpoolP256r1:
            return generate_ec("brainpoolP256r1", false);
        case TestKey::EcP384:
            return generate_ec("P-384", false);
        case TestKey::EcP256Explicit:
            return generate_ec("P-256", true);
        case TestKey::Ed25519:
            return EvpPkeyPtr(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    }
    return nullptr;
}

Owned<ASN1_TIME, ASN1_TIME_free> make_time(const AsnTime& time) {
    Owned<ASN1_TIME, ASN1_TIME_free> value(time.generalized ? ASN1_GENERALIZEDTIME_new()
                                                            : ASN1_UTCTIME_new());
    check(value && ASN1_STRING_set(value.get(), time.text.data(),
                                   static_cast<int>(time.text.size())) == 1,
          "time");
    return value;
}

void add_extension(X509* cert, X509_EXTENSION* ext) {
    const Owned<X509_EXTENSION, X509_EXTENSION_free> owner(ext);
    check(ext != nullptr && X509_add_ext(cert, ext, -1) == 1, "extension");
}

void add_conf_extension(X509* cert, int nid, const std::string& value) {
    if (value.empty()) return;
    add_extension(cert, X509V3_EXT_conf_nid(nullptr, nullptr, nid, value.c_str()));
}

void add_raw_extension(X509* cert, const RawExtension& raw) {
    const Owned<ASN1_OBJECT, ASN1_OBJECT_free> oid(OBJ_txt2obj(raw.oid.c_str(), 1));
    Owned<ASN1_OCTET_STRING, ASN1_OCTET_STRING_free> value(ASN1_OCTET_STRING_new());
    check(oid && value &&
              ASN1_OCTET_STRING_set(value.get(), raw.value.data(),
                                    static_cast<int>(raw.value.size())) == 1,
          "raw extension value");
    add_extension(
        cert, X509_EXTENSION_create_by_OBJ(nullptr, oid.get(), raw.critical ? 1 : 0, value.get()));
}

std::size_t parse_node(std::span<const std::uint8_t> der, DerNode& node) {
    std::size_t pos = 0;
    const auto next = [&] {
        if (pos >= der.size()) throw std::invalid_argument("parse_der: truncated");
        return der[pos++];
    };
    node.identifier.push_back(next());
    if ((node.identifier[0] & 0x1F) == 0x1F) {
        std::uint8_t octet;
        do {
            octet = next();
            node.identifier.push_back(octet);
        } while (octet & 0x80);
    }
    node.constructed = (node.identifier[0] & 0x20) != 0;
    std::size_t length = next();
    if (length == 0x80) throw std::invalid_argument("parse_der: indefinite length");
    if (length > 0x80) {
        const std::size_t count = length & 0x7F;
        length = 0;
        for (std::size_t i = 0; i < count; ++i)
            length = (length << 8) | next();
    }
    if (length > der.size() - pos) throw std::invalid_argument("parse_der: length");
    const auto content = der.subspan(pos, length);
    if (node.constructed) {
        for (std::size_t used = 0; used < content.size();) {
            used += parse_node(content.subspan(used), node.children.emplace_back());
        }
    } else {
        node.content.assign(content.begin(), content.end());
    }
    return pos + length;
}

void append_length(Bytes& out, std::size_t length, bool long_length) {
    Bytes octets;
    for (std::size_t rest = length; rest != 0; rest >>= 8)
        octets.insert(octets.begin(), static_cast<std::uint8_t>(rest));
    if (long_length) {
        octets.insert(octets.begin(), 0x00);
        if (length < 0x80) octets = {static_cast<std::uint8_t>(length)};
    } else if (length < 0x80) {
        out.push_back(static_cast<std::uint8_t>(length));
        return;
    }
    out.push_back(static_cast<std::uint8_t>(0x80 | octets.size()));
    out.insert(out.end(), octets.begin(), octets.end());
}

// RSA generation is slow: each type of key is generated once per process.
EVP_PKEY* test_key(TestKey type) {
    static std::mutex mutex;
    static std::map<TestKey, EvpPkeyPtr> keys;
    const std::lock_guard lock(mutex);
    auto& key = keys[type];
    if (!key) key = generate(type);
    check(key != nullptr, "key generation");
    return key.get();
}

}  // namespace

Bytes make_certificate(const CertificateOptions& options) {
    EVP_PKEY* key = test_key(options.key);
    Owned<X509, X509_free> cert(X509_new());
    check(cert != nullptr, "X509_new");
    check(X509_set_version(cert.get(), X509_VERSION_3) == 1, "version");
    check(ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 0x1234) == 1, "serial");

    X509_NAME* name = X509_get_subject_name(cert.get());
    for (std::size_t i = 0; i < options.common_names.size(); ++i) {
        const auto* text = reinterpret_cast<const unsigned char*>(options.common_names[i].c_str());
        check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, text, -1, -1,
                                         i == 0 ? 0 : -1) == 1,
              "subject");
    }
    check(X509_set_issuer_name(cert.get(), name) == 1, "issuer");
    check(X509_set1_notBefore(cert.get(), make_time(options.not_before).get()) == 1, "notBefore");
    check(X509_set1_notAfter(cert.get(), make_time(options.not_after).get()) == 1, "notAfter");
    check(X509_set_pubkey(cert.get(), key) == 1, "public key");

    add_conf_extension(cert.get(), NID_key_usage, options.key_usage);
    add_conf_extension(cert.get(), NID_ext_key_usage, options.extended_key_usage);
    for (const RawExtension& raw : options.extra_extensions)
        add_raw_extension(cert.get(), raw);

    const EVP_MD* digest = options.key == TestKey::Ed25519 ? nullptr : EVP_sha256();
    check(X509_sign(cert.get(), key, digest) > 0, "sign");

    unsigned char* out = nullptr;
    const int length = i2d_X509(cert.get(), &out);
    check(length > 0, "encode");
    Bytes der(out, out + length);
    OPENSSL_free(out);
    return der;
}

DerNode parse_der(std::span<const std::uint8_t> der) {
    DerNode node;
    if (parse_node(der, node) != der.size()) throw std::invalid_argument("parse_der: trailing");
    return node;
}

Bytes encode_der(const DerNode& node) {
    Bytes content = node.content;
    for (const DerNode& child : node.children) {
        const Bytes encoded = encode_der(child);
        content.insert(content.end(), encoded.begin(), encoded.end());
    }
    Bytes out = node.identifier;
    append_length(out, content.size(), node.long_length);
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

DerNode& tbs_field(DerNode& certificate, std::uint8_t identifier) {
    for (DerNode& field : certificate.children.at(0).children) {
        if (field.identifier == Bytes{identifier}) return field;
    }
    throw std::out_of_range("tbs_field: no such field");
}

DerNode& extension(DerNode& certificate, std::span<const std::uint8_t> oid_content) {
    for (DerNode& ext : tbs_field(certificate, 0xA3).children.at(0).children) {
        if (std::ranges::equal(ext.children.at(0).content, oid_content)) return ext;
    }
    throw std::out_of_range("extension: not present");
}

Bytes from_hex(std::string_view hex) {
    Bytes out;
    int high = -1;
    for (const char c : hex) {
        if (c == ' ') continue;
        const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    return out;
}

}  // namespace tavrin::testing
