#include "backend/pkcs11/attribute_read.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tavrin::pkcs11 {
namespace {

// The return values after which the per-attribute lengths are still valid.
bool answered(CK_RV rv) {
    return rv == CKR_OK || rv == CKR_ATTRIBUTE_SENSITIVE || rv == CKR_ATTRIBUTE_TYPE_INVALID;
}

// Cuts each value read into `found` to the length the module gave for it;
// one it gave none for, or more than it had room for, is left out.
void keep_answered(const std::vector<CK_ATTRIBUTE>& wanted, Attributes& found) {
    for (const CK_ATTRIBUTE& attribute : wanted) {
        Bytes& value = found[attribute.type];
        if (attribute.ulValueLen == CK_UNAVAILABLE_INFORMATION ||
            attribute.ulValueLen > value.size()) {
            found.erase(attribute.type);
        } else {
            value.resize(attribute.ulValueLen);
        }
    }
}

}  // namespace

Result<Attributes, Pkcs11Error> read_attributes(const Session& session, CK_OBJECT_HANDLE object,
                                                std::span<const CK_ATTRIBUTE_TYPE> types) {
    const CK_FUNCTION_LIST& f = session.functions();
    std::vector<CK_ATTRIBUTE> lengths;
    lengths.reserve(types.size());
    for (const CK_ATTRIBUTE_TYPE type : types)
        lengths.push_back({type, nullptr, 0});
    CK_RV rv = f.C_GetAttributeValue(session.handle(), object, lengths.data(), lengths.size());
    if (!answered(rv)) return Pkcs11Error{"GetAttributeValue", rv};

    Attributes found;
    std::vector<CK_ATTRIBUTE> wanted;
    for (const CK_ATTRIBUTE& attribute : lengths) {
        if (attribute.ulValueLen == CK_UNAVAILABLE_INFORMATION) continue;
        Bytes& value = found[attribute.type];
        value.resize(attribute.ulValueLen);
        if (!value.empty()) wanted.push_back({attribute.type, value.data(), value.size()});
    }
    if (wanted.empty()) return found;

    rv = f.C_GetAttributeValue(session.handle(), object, wanted.data(), wanted.size());
    // A value that grew since its length was given comes back as unavailable.
    if (!answered(rv) && rv != CKR_BUFFER_TOO_SMALL) return Pkcs11Error{"GetAttributeValue", rv};
    keep_answered(wanted, found);
    return found;
}

Result<Attributes, Pkcs11Error> read_attributes_at_once(
    const Session& session, CK_OBJECT_HANDLE object, std::span<const AttributeRequest> requests) {
    Attributes found;
    std::vector<CK_ATTRIBUTE> wanted;
    wanted.reserve(requests.size());
    for (const AttributeRequest& request : requests) {
        Bytes& value = found[request.type];
        value.resize(std::max<std::size_t>(request.room, 1));
        wanted.push_back({request.type, value.data(), value.size()});
    }
    const CK_RV rv = session.functions().C_GetAttributeValue(session.handle(), object,
                                                             wanted.data(), wanted.size());
    if (rv == CKR_BUFFER_TOO_SMALL) {
        std::vector<CK_ATTRIBUTE_TYPE> types;
        for (const AttributeRequest& request : requests)
            types.push_back(request.type);
        return read_attributes(session, object, types);
    }
    if (!answered(rv)) return Pkcs11Error{"GetAttributeValue", rv};
    keep_answered(wanted, found);
    return found;
}

std::optional<CK_ULONG> ulong_attribute(const Attributes& attributes, CK_ATTRIBUTE_TYPE type) {
    const auto entry = attributes.find(type);
    if (entry == attributes.end() || entry->second.size() != sizeof(CK_ULONG)) return std::nullopt;
    CK_ULONG value = 0;
    std::memcpy(&value, entry->second.data(), sizeof value);
    return value;
}

}  // namespace tavrin::pkcs11
