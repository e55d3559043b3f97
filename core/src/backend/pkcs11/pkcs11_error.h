#pragma once
// A failed PKCS#11 call: which function, and what it returned.

#include <string>
#include <string_view>

#include "backend/backend_error.h"
#include "backend/pkcs11/cryptoki.h"

namespace tavrin::pkcs11 {

struct Pkcs11Error {
    // The function's name without its "C_" prefix, e.g. "FindObjectsInit".
    std::string_view function;
    CK_RV rv = CKR_GENERAL_ERROR;

    // "Function::FindObjectsInit: PKCS11 error: CKR_DEVICE_ERROR".
    std::string text() const;

    friend bool operator==(const Pkcs11Error&, const Pkcs11Error&) = default;
};

// Whether `rv` says that the token (or the device around it) went away or
// failed as a device, rather than that the call itself was wrong: the card
// was pulled, its sessions closed with it, or the reader broke.
bool token_went_away(CK_RV rv);

// The backend error for a failed `step`: NoToken when the token went away,
// Internal otherwise; the text names the step and the call that failed.
BackendError step_failure(std::string_view step, const Pkcs11Error& error);

// The standard's name of a return value ("CKR_PIN_INCORRECT"), or its
// number for values the standard does not name.
std::string return_value_text(CK_RV rv);

}  // namespace tavrin::pkcs11
