#pragma once
// Certificates and keys made in memory for tests, plus a small DER tree for
// producing variants that no encoder would write (non-DER forms and the like).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "protocol/enums.h"

namespace tavrin::testing {

// EcP256Explicit writes the P-256 curve as explicit parameters, not by name.
enum class TestKey { Rsa2048, EcP256, EcBrainpoolP256r1, EcP384, EcP256Explicit, Ed25519 };

// A validity time written exactly as given, valid or not.
struct AsnTime {
    bool generalized = false;
    std::string text;
};
inline AsnTime utc_time(std::string text) {
    return {false, std::move(text)};
}
inline AsnTime generalized_time(std::string text) {
    return {true, std::move(text)};
}

// An extension written as given: dotted OID, criticality, DER of the value.
struct RawExtension {
    std::string oid;
    bool critical = false;
    Bytes value;
};

struct CertificateOptions {
    TestKey key = TestKey::EcP256;
    AsnTime not_before = utc_time("240101000000Z");
    AsnTime not_after = utc_time("340101000000Z");
    // Values for X509V3_EXT_conf_nid, e.g. "critical,digitalSignature" or
    // "clientAuth"; empty leaves the extension out.
    std::string key_usage;
    std::string extended_key_usage;
    std::vector<RawExtension> extra_extensions;  // after the two above
    // Subject (= issuer) common names; more than one form a single
    // multi-valued RDN.
    std::vector<std::string> common_names{"Tavrin Test"};
};

// The DER of a self-signed certificate. Throws std::runtime_error when
// OpenSSL refuses.
Bytes make_certificate(const CertificateOptions& options);

// One DER value as a tree; encode_der writes minimal lengths unless
// `long_length` asks for one length octet more than needed.
struct DerNode {
    Bytes identifier;
    bool constructed = false;
    Bytes content;                  // primitive values
    std::vector<DerNode> children;  // constructed values
    bool long_length = false;
};

// Parses definite-length DER; throws std::invalid_argument on anything else.
DerNode parse_der(std::span<const std::uint8_t> der);
Bytes encode_der(const DerNode& node);

// Navigation in a parsed Certificate; each throws std::out_of_range if absent.
DerNode& tbs_field(DerNode& certificate, std::uint8_t identifier);  // first with that tag
DerNode& extension(DerNode& certificate, std::span<const std::uint8_t> oid_content);

Bytes from_hex(std::string_view hex);

}  // namespace tavrin::testing
