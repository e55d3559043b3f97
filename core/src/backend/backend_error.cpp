#include "backend/backend_error.h"

namespace tavrin {

std::string BackendError::display() const {
    switch (kind_) {
        case Kind::NoReader:
            return "no reader detected";
        case Kind::NoToken:
            return "no token/card present";
        case Kind::NoMatchingCertificates:
            return "no certificates match the requested purpose";
        case Kind::UnknownCertificateId:
            return "certificate id not known to this backend";
        case Kind::PinIncorrect:
            return "PIN incorrect";
        case Kind::PinBlocked:
            return "PIN blocked";
        case Kind::MechanismUnsupported:
            return "mechanism unsupported: " + text_;
        case Kind::MiddlewareMissing:
            return "required middleware not found: " + text_;
        case Kind::Internal:
            return "internal backend error: " + text_;
        case Kind::UserCancelled:
            return text_;
    }
    return "internal backend error: unknown error kind";
}

}  // namespace tavrin
