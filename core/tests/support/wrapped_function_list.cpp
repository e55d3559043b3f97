#include "support/wrapped_function_list.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tavrin::testing {
namespace {

WrappedFunctionList* active = nullptr;

WrappedFunctionList& wrapper() {
    if (active == nullptr) throw std::logic_error("no wrapped function list is active");
    return *active;
}

CK_RV report_slots(const std::vector<CK_SLOT_ID>& slots, CK_SLOT_ID_PTR out, CK_ULONG_PTR count) {
    if (out != nullptr && *count < slots.size()) return CKR_BUFFER_TOO_SMALL;
    if (out != nullptr) std::copy(slots.begin(), slots.end(), out);
    *count = slots.size();
    return CKR_OK;
}

CK_RV GetSlotList(CK_BBOOL present, CK_SLOT_ID_PTR slots, CK_ULONG_PTR count) {
    auto& w = wrapper();
    if (auto rv = w.enter("GetSlotList")) return *rv;
    const auto& scripted = present ? w.slots_with_token : w.all_slots;
    if (scripted) return report_slots(*scripted, slots, count);
    return w.real().C_GetSlotList(present, slots, count);
}

CK_RV GetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
    auto& w = wrapper();
    if (auto rv = w.enter("GetTokenInfo")) return *rv;
    const CK_RV rv = w.real().C_GetTokenInfo(slot, info);
    if (rv == CKR_OK) info->flags |= w.extra_token_flags;
    return rv;
}

// The replacements that only record the call and pass it on.
#define TAVRIN_PASS_THROUGH(name, params, args)   \
    CK_RV name params {                           \
        auto& w = wrapper();                      \
        if (auto rv = w.enter(#name)) return *rv; \
        return w.real().C_##name args;            \
    }
TAVRIN_PASS_THROUGH(CloseSession, (CK_SESSION_HANDLE s), (s))
TAVRIN_PASS_THROUGH(Logout, (CK_SESSION_HANDLE s), (s))
TAVRIN_PASS_THROUGH(FindObjectsFinal, (CK_SESSION_HANDLE s), (s))
TAVRIN_PASS_THROUGH(FindObjectsInit, (CK_SESSION_HANDLE s, CK_ATTRIBUTE_PTR m, CK_ULONG n),
                    (s, m, n))
TAVRIN_PASS_THROUGH(SignInit, (CK_SESSION_HANDLE s, CK_MECHANISM_PTR m, CK_OBJECT_HANDLE k),
                    (s, m, k))
TAVRIN_PASS_THROUGH(GetAttributeValue,
                    (CK_SESSION_HANDLE s, CK_OBJECT_HANDLE o, CK_ATTRIBUTE_PTR a, CK_ULONG n),
                    (s, o, a, n))
#undef TAVRIN_PASS_THROUGH

CK_RV Login(CK_SESSION_HANDLE session, CK_USER_TYPE user, CK_UTF8CHAR_PTR pin, CK_ULONG length) {
    auto& w = wrapper();
    w.logins.emplace_back(pin == nullptr, length);
    if (auto rv = w.enter("Login")) return *rv;
    return w.real().C_Login(session, user, pin, length);
}

CK_RV FindObjects(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE_PTR objects, CK_ULONG room,
                  CK_ULONG_PTR count) {
    auto& w = wrapper();
    if (auto rv = w.enter("FindObjects")) return *rv;
    const CK_RV rv = w.real().C_FindObjects(session, objects, room, count);
    if (rv == CKR_OK) w.found_counts.push_back(*count);
    return rv;
}

CK_RV Sign(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG length, CK_BYTE_PTR signature,
           CK_ULONG_PTR signature_length) {
    auto& w = wrapper();
    CK_BYTE scratch[1024];
    CK_ULONG scratch_length = sizeof scratch;
    if (auto rv = w.enter("Sign")) {
        // A refused C_Sign ends the operation, as it does in a real module.
        w.real().C_Sign(session, data, length, scratch, &scratch_length);
        return *rv;
    }
    if (!w.signature_output) {
        return w.real().C_Sign(session, data, length, signature, signature_length);
    }
    const Bytes& output = *w.signature_output;
    if (signature == nullptr) {
        // Leaves the module's operation open, as a length query does.
        CK_RV rv = w.real().C_Sign(session, data, length, nullptr, signature_length);
        *signature_length = output.size();
        return rv;
    }
    // Completes the module's operation, then answers with the scripted bytes.
    const CK_RV rv = w.real().C_Sign(session, data, length, scratch, &scratch_length);
    if (rv != CKR_OK) return rv;
    if (*signature_length < output.size()) return CKR_BUFFER_TOO_SMALL;
    std::copy(output.begin(), output.end(), signature);
    *signature_length = output.size();
    return CKR_OK;
}

}  // namespace

WrappedFunctionList::WrappedFunctionList(std::shared_ptr<const pkcs11::Module> real)
    : real_(std::move(real)), list_(real_->functions()) {
    if (active != nullptr) throw std::logic_error("a wrapped function list is already active");
    active = this;
    list_.C_GetSlotList = GetSlotList;
    list_.C_GetTokenInfo = GetTokenInfo;
    list_.C_CloseSession = CloseSession;
    list_.C_Login = Login;
    list_.C_Logout = Logout;
    list_.C_FindObjectsInit = FindObjectsInit;
    list_.C_FindObjects = FindObjects;
    list_.C_FindObjectsFinal = FindObjectsFinal;
    list_.C_GetAttributeValue = GetAttributeValue;
    list_.C_SignInit = SignInit;
    list_.C_Sign = Sign;
    module_ = pkcs11::Module::wrap(&list_, real_);
}

WrappedFunctionList::~WrappedFunctionList() {
    active = nullptr;
}

int WrappedFunctionList::count(std::string_view function) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), function));
}

std::optional<CK_RV> WrappedFunctionList::enter(const std::string& function) {
    calls.push_back(function);
    const auto fault = faults_.find({function, count(function)});
    if (fault == faults_.end()) return std::nullopt;
    const CK_RV rv = fault->second;
    faults_.erase(fault);  // fires once, even if the count is reset
    return rv;
}

}  // namespace tavrin::testing
