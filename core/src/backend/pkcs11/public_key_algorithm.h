#pragma once
// The key algorithm of a token's public-key object, from its CKA_KEY_TYPE,
// CKA_MODULUS and CKA_EC_PARAMS.

#include "backend/backend_error.h"
#include "backend/pkcs11/attribute_read.h"
#include "common/result.h"
#include "protocol/enums.h"

namespace tavrin::pkcs11 {

// RSA by the modulus length (256 or 512 bytes), EC by the curve parameters,
// both through the supported-key table. Anything else is
// MechanismUnsupported, except an EC key without parameters (Internal).
Result<KeyAlgorithm, BackendError> public_key_algorithm(const Attributes& public_key);

}  // namespace tavrin::pkcs11
