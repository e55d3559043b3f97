#include "backend/x509/issuer_chain.h"

#include <algorithm>

namespace tavrin {

std::vector<Bytes> issuer_chain(const KnownCertificate& certificate,
                                std::span<const KnownCertificate> pool) {
    std::vector<Bytes> chain;
    const KnownCertificate* current = &certificate;
    while (!current->parsed.self_issued()) {
        const auto issuer = std::find_if(pool.begin(), pool.end(), [&](const KnownCertificate& c) {
            return c.der != current->der && current->parsed.issued_by(c.parsed);
        });
        if (issuer == pool.end()) break;
        const bool seen = issuer->der == certificate.der ||
                          std::find(chain.begin(), chain.end(), issuer->der) != chain.end();
        if (seen) break;
        chain.push_back(issuer->der);
        current = &*issuer;
    }
    return chain;
}

}  // namespace tavrin
