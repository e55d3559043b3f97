#include "backend/backend_error.h"

namespace tavrin {

namespace {

std::string with_detail(std::string text, const std::string& detail) {
    if (!detail.empty()) text += ": " + detail;
    return text;
}

}  // namespace

std::string BackendError::display() const {
    switch (kind_) {
        case Kind::NoReader:
            return with_detail("no reader detected", text_);
        case Kind::NoToken:
            return with_detail("no token/card present", text_);
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
