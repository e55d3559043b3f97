#pragma once
// The keys this system signs with: two RSA sizes and two named curves. Both
// backends decide through this one table.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "protocol/enums.h"

namespace tavrin {

// DER of the named-curve parameters: OID 1.2.840.10045.3.1.7 (secp256r1).
inline constexpr std::array<std::uint8_t, 10> kP256CurveParams{0x06, 0x08, 0x2A, 0x86, 0x48,
                                                               0xCE, 0x3D, 0x03, 0x01, 0x07};
// DER of the named-curve parameters: OID 1.3.36.3.3.2.8.1.1.7 (brainpoolP256r1).
inline constexpr std::array<std::uint8_t, 11> kBrainpoolP256r1CurveParams{
    0x06, 0x09, 0x2B, 0x24, 0x03, 0x03, 0x02, 0x08, 0x01, 0x01, 0x07};

// rsa2048 or rsa4096 for those modulus sizes, nothing otherwise.
std::optional<KeyAlgorithm> rsa_key_algorithm(std::uint32_t modulus_bits);

// The curve whose complete encoded parameters (tag, length, OID) equal
// `params_der` byte for byte, nothing otherwise.
std::optional<KeyAlgorithm> ec_key_algorithm(std::span<const std::uint8_t> params_der);

}  // namespace tavrin
