#pragma once
// A PKCS#11 token driven straight through its module's function list: the
// floor the bridge's listing and signing over the same token are measured
// against.

#include <string>
#include <vector>

#include "../core/src/backend/pkcs11/cryptoki.h"

namespace tavrin::bench {

class DirectToken {
  public:
    // The first initialised token of the module at `modulePath`, whose user
    // PIN is `pin`. A module the bridge has loaded already is shared.
    DirectToken(const std::string& modulePath, std::string pin);

    // C_OpenSession, C_Login, C_FindObjects for the private key with
    // `id`, C_SignInit/C_Sign per hash, C_Logout.
    void sign(const std::vector<std::uint8_t>& id, CK_MECHANISM_TYPE mechanism,
              const std::vector<std::uint8_t>& input, int count);

    // Every certificate's CKA_VALUE and CKA_ID.
    void list();

  private:
    void* library_ = nullptr;
    CK_FUNCTION_LIST_PTR f_ = nullptr;
    CK_SLOT_ID slot_ = 0;
    std::string pin_;
};

// DigestInfo(SHA-256) || the bench hash: what CKM_RSA_PKCS signs.
std::vector<std::uint8_t> rsaSignatureInput();

}  // namespace tavrin::bench
