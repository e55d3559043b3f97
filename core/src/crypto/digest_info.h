#pragma once
// The DER DigestInfo that an RSA PKCS#1 v1.5 signature wraps around a hash:
// a fixed prefix naming the hash algorithm, then the hash itself.

#include <array>
#include <cstdint>
#include <span>

#include "common/bytes.h"
#include "protocol/enums.h"

namespace tavrin {

inline constexpr std::array<std::uint8_t, 19> kSha256DigestInfoPrefix{
    0x30, 0x31, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
    0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
inline constexpr std::array<std::uint8_t, 19> kSha512DigestInfoPrefix{
    0x30, 0x51, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
    0x65, 0x03, 0x04, 0x02, 0x03, 0x05, 0x00, 0x04, 0x40};

inline std::span<const std::uint8_t> digest_info_prefix(HashAlg alg) {
    return alg == HashAlg::Sha256 ? std::span<const std::uint8_t>(kSha256DigestInfoPrefix)
                                  : std::span<const std::uint8_t>(kSha512DigestInfoPrefix);
}

// prefix || hash; the caller has checked the hash length.
inline Bytes digest_info(HashAlg alg, std::span<const std::uint8_t> hash) {
    const auto prefix = digest_info_prefix(alg);
    Bytes out(prefix.begin(), prefix.end());
    out.insert(out.end(), hash.begin(), hash.end());
    return out;
}

}  // namespace tavrin
