#pragma once
// Reading an object's attributes.

#include <cstddef>
#include <map>
#include <optional>
#include <span>

#include "backend/pkcs11/cryptoki.h"
#include "backend/pkcs11/pkcs11_error.h"
#include "backend/pkcs11/pkcs11_session.h"
#include "common/bytes.h"
#include "common/result.h"

namespace tavrin::pkcs11 {

// The values the module supplied, by attribute type.
using Attributes = std::map<CK_ATTRIBUTE_TYPE, Bytes>;

// Asks for the lengths of `types`, then for the values. An attribute the
// module cannot give (sensitive, not valid for the object, no value) is
// missing from the result; that is not an error. Modules report that with
// CKR_ATTRIBUTE_SENSITIVE or CKR_ATTRIBUTE_TYPE_INVALID for the whole call
// while still answering for the other attributes, so each attribute is
// judged by its own length and only other return values fail the read.
Result<Attributes, Pkcs11Error> read_attributes(const Session& session, CK_OBJECT_HANDLE object,
                                                std::span<const CK_ATTRIBUTE_TYPE> types);

// One attribute to read, with the room its value is first given.
struct AttributeRequest {
    CK_ATTRIBUTE_TYPE type;
    std::size_t room;
};

// The same result as read_attributes, in one call when every value fits the
// room given for it; only a value that does not fit costs the two calls of
// read_attributes. A listing reads each object this way: on a card every
// call may be a round trip to the device.
Result<Attributes, Pkcs11Error> read_attributes_at_once(const Session& session,
                                                        CK_OBJECT_HANDLE object,
                                                        std::span<const AttributeRequest> requests);

// An attribute holding one CK_ULONG (CKA_KEY_TYPE, CKA_CLASS), if present
// and of that size.
std::optional<CK_ULONG> ulong_attribute(const Attributes& attributes, CK_ATTRIBUTE_TYPE type);

}  // namespace tavrin::pkcs11
