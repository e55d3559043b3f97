#pragma once
// One open PKCS#11 session on one slot's token, holding the module it came
// from. Closing it (when the object goes away) never fails visibly.

#include <memory>
#include <string>
#include <vector>

#include "backend/backend_error.h"
#include "backend/pkcs11/cryptoki.h"
#include "backend/pkcs11/pkcs11_error.h"
#include "backend/pkcs11/pkcs11_module.h"
#include "common/result.h"

namespace tavrin::pkcs11 {

class Session {
  public:
    // A read-only session on the token in `slot`.
    static Result<Session, Pkcs11Error> open(std::shared_ptr<const Module> module, CK_SLOT_ID slot);

    Session(Session&& other) noexcept;
    Session& operator=(Session&& other) noexcept;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    const CK_FUNCTION_LIST& functions() const { return module_->functions(); }
    CK_SESSION_HANDLE handle() const { return handle_; }
    CK_SLOT_ID slot() const { return slot_; }

  private:
    Session(std::shared_ptr<const Module> module, CK_SLOT_ID slot, CK_SESSION_HANDLE handle)
        : module_(std::move(module)), slot_(slot), handle_(handle) {}
    void close();

    std::shared_ptr<const Module> module_;  // null once moved from
    CK_SLOT_ID slot_;
    CK_SESSION_HANDLE handle_;
};

// The slots the module reports, in its order; with `token_present`, only
// those holding a token.
Result<std::vector<CK_SLOT_ID>, Pkcs11Error> slot_list(const Module& module, bool token_present);

// The label of the session's token without the blanks the standard pads it
// with; empty when the token cannot say.
std::string token_label(const Session& session);

// The first slot, in the module's order, that holds a token: NoReader when
// the module reports no slot at all, NoToken when no slot holds a token.
Result<CK_SLOT_ID, BackendError> first_token_slot(const Module& module);

}  // namespace tavrin::pkcs11
