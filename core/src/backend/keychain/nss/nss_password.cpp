#include "backend/keychain/nss/nss_password.h"

#include <cstring>
#include <utility>

#include <pk11pub.h>
#include <secport.h>

namespace tavrin::keychain {
namespace {

thread_local const Pin* t_granted_pin = nullptr;

char* password_for(PK11SlotInfo* /*slot*/, PRBool retry, void* /*arg*/) {
    if (retry) return nullptr;
    const Pin* pin = std::exchange(t_granted_pin, nullptr);
    if (pin == nullptr) return nullptr;
    // NSS overwrites and frees the copy once the token has it.
    auto* copy = static_cast<char*>(PORT_Alloc(pin->size() + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, pin->data(), pin->size());
    copy[pin->size()] = '\0';
    return copy;
}

}  // namespace

void install_password_callback() {
    PK11_SetPasswordFunc(password_for);
}

ContextPinGrant::ContextPinGrant(const Pin& pin) {
    t_granted_pin = &pin;
}

ContextPinGrant::~ContextPinGrant() {
    t_granted_pin = nullptr;
}

}  // namespace tavrin::keychain
