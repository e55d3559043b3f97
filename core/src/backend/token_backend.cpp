#include "backend/token_backend.h"

namespace tavrin {

std::string hash_length_mismatch(std::size_t length, HashAlg alg) {
    return "hash length " + std::to_string(length) + " does not match " +
           std::string(debug_name(alg));
}

}  // namespace tavrin
