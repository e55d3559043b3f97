#include "backend/pkcs11/token_signing.h"

#include <algorithm>

namespace tavrin::pkcs11 {

Result<Bytes, Pkcs11Error> sign_once(const Session& session, CK_MECHANISM_TYPE mechanism_type,
                                     CK_OBJECT_HANDLE key, std::span<const std::uint8_t> data,
                                     const std::function<CK_RV()>& after_init, std::size_t room) {
    const CK_FUNCTION_LIST& f = session.functions();
    CK_MECHANISM mechanism{mechanism_type, nullptr, 0};
    CK_RV rv = f.C_SignInit(session.handle(), &mechanism, key);
    if (rv != CKR_OK) return Pkcs11Error{"SignInit", rv};
    if (after_init) {
        rv = after_init();
        if (rv != CKR_OK) return Pkcs11Error{"Login", rv};
    }
    // The standard's data pointer is not const; modules only read it.
    auto* input = const_cast<std::uint8_t*>(data.data());
    if (room > 0) {
        Bytes signature(room);
        CK_ULONG length = signature.size();
        rv = f.C_Sign(session.handle(), input, data.size(), signature.data(), &length);
        if (rv == CKR_OK) {
            signature.resize(std::min<CK_ULONG>(length, signature.size()));
            return signature;
        }
        // Too small: the operation goes on, and the length is known now.
        if (rv != CKR_BUFFER_TOO_SMALL) return Pkcs11Error{"Sign", rv};
    }
    CK_ULONG length = 0;
    rv = f.C_Sign(session.handle(), input, data.size(), nullptr, &length);
    if (rv != CKR_OK) return Pkcs11Error{"Sign", rv};
    // At least one byte of room: a null buffer would only ask for the length
    // again and leave the operation open.
    Bytes signature(std::max<CK_ULONG>(length, 1));
    length = signature.size();
    rv = f.C_Sign(session.handle(), input, data.size(), signature.data(), &length);
    if (rv != CKR_OK) return Pkcs11Error{"Sign", rv};
    signature.resize(std::min<CK_ULONG>(length, signature.size()));
    return signature;
}

}  // namespace tavrin::pkcs11
