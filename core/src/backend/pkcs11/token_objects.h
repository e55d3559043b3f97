#pragma once
// What a listing reads of a token, in few device calls: one search for
// every object the session can see and one attribute read per object (see
// read_attributes_at_once) for its class, its CKA_ID and whatever else the
// caller asks, and a certificate's CKA_VALUE: in a read of its own the first
// time a session sees it, in the same read afterwards. Both the PKCS#11 form
// and the identity store list through this.

#include <map>
#include <set>
#include <vector>

#include "backend/pkcs11/attribute_read.h"
#include "backend/pkcs11/object_search.h"

namespace tavrin::pkcs11 {

struct TokenObject {
    CK_OBJECT_HANDLE handle = CK_INVALID_HANDLE;
    CK_OBJECT_CLASS object_class = CKO_DATA;
    Bytes id;               // CKA_ID; empty when the object has none
    Attributes attributes;  // CKA_VALUE and the attributes asked for, where given
};

// Where reading failed: the search, or the read of one object.
struct ObjectReadError {
    enum class Step : std::uint8_t { Search, Read };
    Step step;
    Pkcs11Error error;
};

// What a session's listings learnt of its objects, by handle. Of the objects
// that are not certificates (keys, data objects) a later listing in the same
// session reuses what was read instead of reading them again; a certificate
// is read afresh every time, its value in the same read as its class. A
// handle names the same object for as long as the session and the object
// last; a key that has gone meanwhile can only make a certificate be listed
// whose signature then fails to find its key.
struct ObjectMemory {
    std::map<CK_OBJECT_HANDLE, TokenObject> others;
    std::set<CK_OBJECT_HANDLE> certificates;
};

// Every object of the token with a class, in the module's order. An object
// whose class cannot be read is left out. `memory`, when given, is what the
// session learnt in its last listing; it is brought up to date.
Result<std::vector<TokenObject>, ObjectReadError> read_token_objects(
    const Session& session, std::span<const AttributeRequest> also = {},
    ObjectMemory* memory = nullptr);

}  // namespace tavrin::pkcs11
