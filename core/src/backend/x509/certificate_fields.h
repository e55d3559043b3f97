#pragma once
// The fields of a CertificateInfo that come from the certificate itself.
// Decoding is strict: anything that is not canonical DER, trailing bytes, or a
// validity time before 1970 fails.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "backend/x509/x509_error.h"
#include "common/bytes.h"
#include "common/result.h"
#include "protocol/enums.h"

struct x509_st;

namespace tavrin {

// One certificate decoded once, for reading several fields: decoding
// dominates a listing's cost (the library decodes the public key eagerly).
class ParsedCertificate {
  public:
    static Result<ParsedCertificate, X509Error> parse(std::span<const std::uint8_t> der);

    Result<std::vector<CertPurpose>, X509Error> purposes() const;
    Result<std::string, X509Error> not_after() const;
    Result<KeyAlgorithm, X509Error> key_algorithm(
        std::optional<std::uint32_t> rsa_modulus_bits) const;
    // Whether the qcStatements extension carries the QcCompliance statement
    // (the certificate is issued as a qualified one). An absent or unreadable
    // extension means no.
    bool qualified() const;
    // Whether `issuer` issued this certificate: its subject is this one's
    // issuer name and its key verifies this certificate's signature.
    bool issued_by(const ParsedCertificate& issuer) const;
    // Whether its subject and issuer names are the same (RFC 5280's
    // self-issued; its signature is not checked): where a chain ends.
    bool self_issued() const;
    // The DER of the issuer's name, for looking the issuer up in a store.
    Bytes issuer_name() const;

  private:
    struct Free {
        void operator()(x509_st* cert) const;
    };
    explicit ParsedCertificate(std::unique_ptr<x509_st, Free> cert) : cert_(std::move(cert)) {}
    std::unique_ptr<x509_st, Free> cert_;
};

// Each of these decodes the whole certificate afresh.
// [sign] when KeyUsage has nonRepudiation, then [auth] when it has
// digitalSignature and ExtendedKeyUsage lists clientAuth; possibly empty.
Result<std::vector<CertPurpose>, X509Error> extract_purposes(std::span<const std::uint8_t> der);

// validity.notAfter as YYYY-MM-DDTHH:MM:SSZ (UTC).
Result<std::string, X509Error> extract_not_after(std::span<const std::uint8_t> der);

// The key's algorithm from the certificate's subjectPublicKeyInfo; for RSA
// the caller supplies the modulus size of the key that belongs to it.
Result<KeyAlgorithm, X509Error> extract_key_algorithm(
    std::span<const std::uint8_t> der, std::optional<std::uint32_t> rsa_modulus_bits);

}  // namespace tavrin
