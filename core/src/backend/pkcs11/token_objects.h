#pragma once
// What a listing reads of a token, in as few device calls as the standard
// allows: one search per object class, and one attribute read per object
// whose values fit the room first given (see read_attributes_at_once).
// Both the PKCS#11 form and the identity store list through these.

#include <map>
#include <vector>

#include "backend/pkcs11/attribute_read.h"
#include "backend/pkcs11/object_search.h"

namespace tavrin::pkcs11 {

struct TokenCertificate {
    CK_OBJECT_HANDLE handle = CK_INVALID_HANDLE;
    Bytes der;  // CKA_VALUE
    Bytes id;   // CKA_ID; empty when the object has none
};

// Where reading the certificates failed: the search, or the read of one.
struct CertificateReadError {
    enum class Step : std::uint8_t { Search, Read };
    Step step;
    Pkcs11Error error;
};

// Every certificate of the token in the module's order; an object without
// CKA_VALUE is left out.
Result<std::vector<TokenCertificate>, CertificateReadError> read_certificates(
    const Session& session);

// The keys of class `key_class` by CKA_ID, each with the attributes asked
// for (CKA_ID is always read). The first key found for an id is kept.
using KeysById = std::map<Bytes, Attributes>;
Result<KeysById, Pkcs11Error> read_keys(const Session& session, CK_OBJECT_CLASS key_class,
                                        std::span<const AttributeRequest> also);

}  // namespace tavrin::pkcs11
