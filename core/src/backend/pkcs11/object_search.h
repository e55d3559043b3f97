#pragma once
// Finding objects on the token by a template of attributes.

#include <cstdint>
#include <span>
#include <vector>

#include "backend/pkcs11/cryptoki.h"
#include "backend/pkcs11/pkcs11_error.h"
#include "backend/pkcs11/pkcs11_session.h"
#include "common/result.h"

namespace tavrin::pkcs11 {

using ObjectList = std::vector<CK_OBJECT_HANDLE>;

// Handles are fetched this many at a time.
inline constexpr CK_ULONG kSearchBatch = 10;

// The objects that match every attribute of `match`, in the order the module
// returns them. A failure of C_FindObjectsInit or C_FindObjects fails the
// search; the search is always ended with C_FindObjectsFinal once it has
// begun, and a failure of that is ignored.
Result<ObjectList, Pkcs11Error> find_objects(const Session& session,
                                             std::span<const CK_ATTRIBUTE> match);

// The objects of class `object_class`.
Result<ObjectList, Pkcs11Error> find_by_class(const Session& session, CK_OBJECT_CLASS object_class);

// The objects of class `object_class` whose CKA_ID is `id` (possibly empty).
Result<ObjectList, Pkcs11Error> find_by_class_and_id(const Session& session,
                                                     CK_OBJECT_CLASS object_class,
                                                     std::span<const std::uint8_t> id);

}  // namespace tavrin::pkcs11
