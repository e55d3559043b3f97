#include "backend/pkcs11/pkcs11_session.h"

#include <algorithm>
#include <utility>

namespace tavrin::pkcs11 {

Result<Session, Pkcs11Error> Session::open(std::shared_ptr<const Module> module, CK_SLOT_ID slot) {
    CK_SESSION_HANDLE handle = CK_INVALID_HANDLE;
    const CK_RV rv =
        module->functions().C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &handle);
    if (rv != CKR_OK) return Pkcs11Error{"OpenSession", rv};
    return Session(std::move(module), slot, handle);
}

Session::Session(Session&& other) noexcept
    : module_(std::move(other.module_)), slot_(other.slot_), handle_(other.handle_) {}

Session& Session::operator=(Session&& other) noexcept {
    if (this != &other) {
        close();
        module_ = std::move(other.module_);
        slot_ = other.slot_;
        handle_ = other.handle_;
    }
    return *this;
}

Session::~Session() {
    close();
}

void Session::close() {
    if (!module_) return;
    module_->functions().C_CloseSession(handle_);  // nothing to do if it fails
    module_.reset();
}

Result<std::vector<CK_SLOT_ID>, Pkcs11Error> slot_list(const Module& module, bool token_present) {
    const CK_BBOOL present = token_present ? CK_TRUE : CK_FALSE;
    std::vector<CK_SLOT_ID> slots;
    // The count may grow between the two calls when a reader is plugged in.
    for (;;) {
        CK_ULONG count = 0;
        CK_RV rv = module.functions().C_GetSlotList(present, nullptr, &count);
        if (rv != CKR_OK) return Pkcs11Error{"GetSlotList", rv};
        slots.resize(count);
        if (count == 0) return slots;
        rv = module.functions().C_GetSlotList(present, slots.data(), &count);
        if (rv == CKR_BUFFER_TOO_SMALL) continue;
        if (rv != CKR_OK) return Pkcs11Error{"GetSlotList", rv};
        slots.resize(std::min<CK_ULONG>(count, slots.size()));
        return slots;
    }
}

Result<CK_SLOT_ID, BackendError> first_token_slot(const Module& module) {
    auto with_token = slot_list(module, true);
    if (!with_token) return BackendError::internal("list slots: " + with_token.error().text());
    if (!with_token.value().empty()) return with_token.value().front();
    auto all = slot_list(module, false);
    if (!all) return BackendError::internal("list slots: " + all.error().text());
    if (all.value().empty()) return BackendError::no_reader();
    return BackendError::no_token();
}

std::string token_label(const Session& session) {
    CK_TOKEN_INFO info{};
    if (session.functions().C_GetTokenInfo(session.slot(), &info) != CKR_OK) return {};
    std::string label(reinterpret_cast<const char*>(info.label), sizeof info.label);
    label.erase(label.find_last_not_of(' ') + 1);
    return label;
}

}  // namespace tavrin::pkcs11
