#include "backend/x509/supported_keys.h"

#include <algorithm>

namespace tavrin {

std::optional<KeyAlgorithm> rsa_key_algorithm(std::uint32_t modulus_bits) {
    switch (modulus_bits) {
        case 2048:
            return KeyAlgorithm::Rsa2048;
        case 4096:
            return KeyAlgorithm::Rsa4096;
        default:
            return std::nullopt;
    }
}

std::optional<KeyAlgorithm> ec_key_algorithm(std::span<const std::uint8_t> params_der) {
    if (std::ranges::equal(params_der, kP256CurveParams)) return KeyAlgorithm::EcP256;
    if (std::ranges::equal(params_der, kBrainpoolP256r1CurveParams)) {
        return KeyAlgorithm::EcBrainpoolP256r1;
    }
    return std::nullopt;
}

}  // namespace tavrin
