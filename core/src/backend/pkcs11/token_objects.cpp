#include "backend/pkcs11/token_objects.h"

#include <array>
#include <vector>

namespace tavrin::pkcs11 {
namespace {

// Room for most certificates and identifiers in one read; a larger value
// costs a second call, never a failure.
constexpr std::size_t kValueRoom = 4096;
constexpr std::size_t kIdRoom = 64;

}  // namespace

Result<std::vector<TokenObject>, ObjectReadError> read_token_objects(
    const Session& session, std::span<const AttributeRequest> also, ObjectMemory* memory) {
    using Step = ObjectReadError::Step;
    // No template: one search finds the certificates and the keys together.
    // (A template pointer that is not null, for modules that refuse one even
    // with no attributes.)
    CK_ATTRIBUTE none{};
    auto handles = find_objects(session, std::span<const CK_ATTRIBUTE>(&none, 0));
    if (!handles) return ObjectReadError{Step::Search, handles.error()};
    std::vector<AttributeRequest> without_value{{CKA_CLASS, sizeof(CK_OBJECT_CLASS)},
                                                {CKA_ID, kIdRoom}};
    without_value.insert(without_value.end(), also.begin(), also.end());
    std::vector<AttributeRequest> with_value = without_value;
    with_value.push_back({CKA_VALUE, kValueRoom});
    constexpr std::array<AttributeRequest, 1> kValue{AttributeRequest{CKA_VALUE, kValueRoom}};

    ObjectMemory learnt;
    std::vector<TokenObject> objects;
    objects.reserve(handles.value().size());
    for (const CK_OBJECT_HANDLE handle : handles.value()) {
        if (memory != nullptr) {
            if (const auto known = memory->others.find(handle); known != memory->others.end()) {
                objects.push_back(known->second);
                learnt.others.insert(*known);
                continue;
            }
        }
        // The value is asked for with the rest only of what was a
        // certificate in this session's last listing: the first read of any
        // other object would make a card read a data object's value from the
        // chip, or refuse the whole read for it before a login.
        bool value_read = memory != nullptr && memory->certificates.contains(handle);
        auto attributes =
            read_attributes_at_once(session, handle, value_read ? with_value : without_value);
        // An object that is no longer what it was: read again without it. A
        // card that went away is not asked again.
        if (!attributes && value_read && !token_went_away(attributes.error().rv)) {
            value_read = false;
            attributes = read_attributes_at_once(session, handle, without_value);
        }
        if (!attributes) return ObjectReadError{Step::Read, attributes.error()};
        const auto object_class = ulong_attribute(attributes.value(), CKA_CLASS);
        if (!object_class) continue;
        TokenObject object{handle, *object_class, {}, std::move(attributes).value()};
        if (const auto id = object.attributes.find(CKA_ID); id != object.attributes.end()) {
            object.id = std::move(id->second);
            object.attributes.erase(id);
        }
        if (object.object_class != CKO_CERTIFICATE) {
            object.attributes.erase(CKA_VALUE);
            learnt.others.emplace(handle, object);
        } else {
            if (!value_read) {
                auto value = read_attributes_at_once(session, handle, kValue);
                if (!value) return ObjectReadError{Step::Read, value.error()};
                object.attributes.merge(value.value());
            }
            learnt.certificates.insert(handle);
        }
        objects.push_back(std::move(object));
    }
    if (memory != nullptr) *memory = std::move(learnt);
    return objects;
}

}  // namespace tavrin::pkcs11
