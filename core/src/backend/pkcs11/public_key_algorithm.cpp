#include "backend/pkcs11/public_key_algorithm.h"

#include <limits>
#include <string>

#include "backend/x509/supported_keys.h"

namespace tavrin::pkcs11 {

Result<KeyAlgorithm, BackendError> public_key_algorithm(const Attributes& public_key) {
    const auto key_type = ulong_attribute(public_key, CKA_KEY_TYPE);
    if (key_type == CKK_RSA) {
        const auto modulus = public_key.find(CKA_MODULUS);
        if (modulus != public_key.end()) {
            const std::size_t bytes = modulus->second.size();
            if (bytes <= std::numeric_limits<std::uint32_t>::max() / 8) {
                if (auto rsa = rsa_key_algorithm(static_cast<std::uint32_t>(bytes * 8)))
                    return *rsa;
            }
            return BackendError::mechanism_unsupported("RSA modulus length Some(" +
                                                       std::to_string(bytes) + ") bytes");
        }
        return BackendError::mechanism_unsupported("RSA modulus length None bytes");
    }
    if (key_type == CKK_EC) {
        const auto params = public_key.find(CKA_EC_PARAMS);
        if (params == public_key.end()) {
            return BackendError::internal("EC public key missing CKA_EC_PARAMS");
        }
        if (auto ec = ec_key_algorithm(params->second)) return *ec;
        return BackendError::mechanism_unsupported("unrecognized EC curve");
    }
    if (key_type) {
        return BackendError::mechanism_unsupported(
            "key type Some(KeyType { val: " + std::to_string(*key_type) + " })");
    }
    return BackendError::mechanism_unsupported("key type None");
}

}  // namespace tavrin::pkcs11
