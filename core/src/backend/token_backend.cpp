#include "backend/token_backend.h"

#include <algorithm>

namespace tavrin {

bool satisfies(Purpose filter, const std::vector<CertPurpose>& purposes) {
    if (filter == Purpose::Any) return true;
    const CertPurpose wanted = filter == Purpose::Sign ? CertPurpose::Sign : CertPurpose::Auth;
    return std::find(purposes.begin(), purposes.end(), wanted) != purposes.end();
}

std::string hash_length_mismatch(std::size_t length, HashAlg alg) {
    return "hash length " + std::to_string(length) + " does not match " +
           std::string(debug_name(alg));
}

}  // namespace tavrin
