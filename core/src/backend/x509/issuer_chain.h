#pragma once
// The issuer certificates of a certificate, found among the certificates a
// store holds: nearest issuer first, the certificate itself not included.

#include <span>
#include <vector>

#include "backend/x509/certificate_fields.h"
#include "common/bytes.h"

namespace tavrin {

struct KnownCertificate {
    Bytes der;
    ParsedCertificate parsed;
};

// Follows issuers through `pool` until a self-issued certificate, one with no
// issuer in the pool, or a certificate already on the chain (a loop). An
// issuer counts only if its key verifies the certificate's signature.
std::vector<Bytes> issuer_chain(const KnownCertificate& certificate,
                                std::span<const KnownCertificate> pool);

}  // namespace tavrin
