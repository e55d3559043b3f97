#pragma once
// NSS asks for a token's password through one process-wide callback. Ours
// hands out a PIN only while a signature on this thread has armed it for one
// context-specific login (a key that wants the PIN for every signature), and
// never on a retry. Every other request, such as NSS logging in to tokens on
// its own while it lists certificates, is refused: NSS never asks the user
// anything and never retries a wrong PIN.

#include "common/pin.h"

namespace tavrin::keychain {

// Installs the callback; idempotent.
void install_password_callback();

// Arms the callback with `pin` for at most one hand-out on this thread, until
// the object goes away. NSS gets its own copy, which it wipes after use.
class ContextPinGrant {
  public:
    explicit ContextPinGrant(const Pin& pin);
    ~ContextPinGrant();
    ContextPinGrant(const ContextPinGrant&) = delete;
    ContextPinGrant& operator=(const ContextPinGrant&) = delete;
};

}  // namespace tavrin::keychain
