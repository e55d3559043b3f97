#pragma once
// The token backend over a PKCS#11 module: lists the certificates of one
// token and signs with the private keys that share their CKA_ID, after
// logging in with the user's PIN. Everything runs in one session, opened on
// the chosen token before the backend is made.

#include <map>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <optional>
#include <string>

#include "backend/pkcs11/pkcs11_session.h"
#include "backend/pkcs11/token_objects.h"
#include "backend/token_backend.h"

namespace tavrin {

class Pkcs11Backend {
  public:
    static constexpr bool requires_pin = true;

    // Works in `session`. The copy of the PIN handed to the token is
    // allocated from `secret_memory` (tests pass one that inspects each
    // buffer as it is returned); it is wiped before it goes back.
    explicit Pkcs11Backend(pkcs11::Session session, std::pmr::memory_resource* secret_memory =
                                                        std::pmr::new_delete_resource());

    Pkcs11Backend(Pkcs11Backend&&) noexcept = default;
    Pkcs11Backend& operator=(Pkcs11Backend&&) noexcept = default;

    Result<CertificateList, BackendError> list_certificates(Purpose purpose);

    // Logs in with `pin` once for the whole batch and logs out again
    // afterwards, so that every batch is approved by the PIN given with it.
    Result<SignatureList, BackendError> sign(std::string_view cert_id, HashAlg hash_alg,
                                             Scheme scheme, const std::vector<Bytes>& hashes,
                                             const Pin& pin);

  private:
    struct CertIndex {
        std::mutex mutex;
        std::map<std::string, Bytes, std::less<>> ids;  // certificate id to CKA_ID
        pkcs11::ObjectMemory objects;                   // what the session's listings learnt
        std::optional<std::string> label;               // the token's, once asked
    };

    // Whether this call logged the session in (false: it already was).
    Result<bool, BackendError> login(const Pin& pin);

    std::unique_ptr<CertIndex> cert_index_;
    pkcs11::Session session_;
    std::pmr::memory_resource* secret_memory_;
};

}  // namespace tavrin
