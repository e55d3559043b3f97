#include "backend/pkcs11/object_search.h"

#include <algorithm>
#include <array>

namespace tavrin::pkcs11 {

Result<ObjectList, Pkcs11Error> find_objects(const Session& session,
                                             std::span<const CK_ATTRIBUTE> match) {
    const CK_FUNCTION_LIST& f = session.functions();
    // The standard's template pointer is not const; modules only read it.
    CK_RV rv = f.C_FindObjectsInit(session.handle(), const_cast<CK_ATTRIBUTE*>(match.data()),
                                   match.size());
    if (rv != CKR_OK) return Pkcs11Error{"FindObjectsInit", rv};

    ObjectList found;
    std::array<CK_OBJECT_HANDLE, kSearchBatch> batch{};
    for (;;) {
        CK_ULONG count = 0;
        rv = f.C_FindObjects(session.handle(), batch.data(), batch.size(), &count);
        if (rv != CKR_OK) break;
        // A count beyond the room given would read past the batch.
        count = std::min<CK_ULONG>(count, batch.size());
        found.insert(found.end(), batch.begin(),
                     batch.begin() + static_cast<std::ptrdiff_t>(count));
        if (count < batch.size()) break;
    }
    // Ends the search even after a failure, so the session can search again.
    f.C_FindObjectsFinal(session.handle());
    if (rv != CKR_OK) return Pkcs11Error{"FindObjects", rv};
    return found;
}

Result<ObjectList, Pkcs11Error> find_by_class(const Session& session,
                                              CK_OBJECT_CLASS object_class) {
    CK_ATTRIBUTE match[] = {{CKA_CLASS, &object_class, sizeof object_class}};
    return find_objects(session, match);
}

Result<ObjectList, Pkcs11Error> find_by_class_and_id(const Session& session,
                                                     CK_OBJECT_CLASS object_class,
                                                     std::span<const std::uint8_t> id) {
    // An empty id still gets a non-null pointer: some modules refuse a null
    // value pointer in a template even with length zero.
    std::uint8_t none = 0;
    void* id_value = id.empty() ? &none : const_cast<std::uint8_t*>(id.data());
    CK_ATTRIBUTE match[] = {{CKA_CLASS, &object_class, sizeof object_class},
                            {CKA_ID, id_value, id.size()}};
    return find_objects(session, match);
}

}  // namespace tavrin::pkcs11
