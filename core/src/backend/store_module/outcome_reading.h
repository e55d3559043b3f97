#pragma once
// The core's side of the store boundary: reads the plain records of an
// outcome (store_abi.h) into the core's own types. A value out of range (a
// module that does not keep to the boundary) is an internal error naming it.

#include "backend/backend_error.h"
#include "backend/store_module/store_abi.h"
#include "backend/token_backend.h"
#include "common/result.h"

namespace tavrin::store {

// The error an outcome reports; nothing when it reports success.
std::optional<BackendError> error_of(const TavrinStoreOutcome& outcome);

Result<CertificateList, BackendError> certificates_of(const TavrinStoreOutcome& outcome);
Result<SignatureList, BackendError> signatures_of(const TavrinStoreOutcome& outcome);
Result<KeyApproval, BackendError> approval_of(const TavrinStoreOutcome& outcome);

}  // namespace tavrin::store
