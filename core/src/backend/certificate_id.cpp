#include "backend/certificate_id.h"

#include <openssl/sha.h>

namespace tavrin {

std::string certificate_id(std::span<const std::uint8_t> der) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(der.data(), der.size(), digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(2 * SHA256_DIGEST_LENGTH, '0');
    for (std::size_t i = 0; i < SHA256_DIGEST_LENGTH; ++i) {
        out[2 * i] = kHex[digest[i] >> 4];
        out[2 * i + 1] = kHex[digest[i] & 0x0F];
    }
    return out;
}

}  // namespace tavrin
