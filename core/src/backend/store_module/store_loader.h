#pragma once
// Loading the identity-store module (store_interface.h) and the backends the
// dispatcher uses over it. The keychain backend loads the module on its
// first call, so a process that never lists or signs never maps OpenSSL or
// NSS; a module that cannot be loaded makes each call fail with the reason.

#include <memory>
#include <mutex>
#include <string>

#include "backend/store_module/store_interface.h"

namespace tavrin::store {

// The module's factories, loaded once per process from the folder of the
// library or executable that holds this code (the executable also looks in
// the private library folder it is installed with), or why they cannot be had.
Result<const Factories*, std::string> factories();

// The file factories() loads (or would load) the module from.
std::string module_location();

// The keychain backend, made by the module on first use.
class LoadedKeychainBackend {
  public:
    static constexpr bool requires_pin = false;

    Result<CertificateList, BackendError> list_certificates(Purpose purpose);
    Result<KeyApproval, BackendError> key_approval(std::string_view cert_id);
    Result<SignatureList, BackendError> sign(std::string_view cert_id, HashAlg hash_alg,
                                             Scheme scheme, const std::vector<Bytes>& hashes,
                                             const Pin& pin,
                                             const std::function<bool()>& login_returned);
    Result<SignatureList, BackendError> sign(std::string_view cert_id, HashAlg hash_alg,
                                             Scheme scheme, const std::vector<Bytes>& hashes,
                                             const Pin& pin) {
        return sign(cert_id, hash_alg, scheme, hashes, pin, [] { return true; });
    }
    // Only asked after a listing; before the store is open there is none.
    std::size_t readers_without_card();

  private:
    Result<StoreBackend*, BackendError> backend();

    std::unique_ptr<std::mutex> mutex_ = std::make_unique<std::mutex>();
    std::unique_ptr<StoreBackend> backend_;
};

// The PKCS#11 backend, made when the handle is created (the module is
// needed at once to open the token's session).
class LoadedPkcs11Backend {
  public:
    static constexpr bool requires_pin = true;

    explicit LoadedPkcs11Backend(std::unique_ptr<StoreBackend> backend)
        : backend_(std::move(backend)) {}

    Result<CertificateList, BackendError> list_certificates(Purpose purpose) {
        return backend_->list_certificates(purpose);
    }
    Result<SignatureList, BackendError> sign(std::string_view cert_id, HashAlg hash_alg,
                                             Scheme scheme, const std::vector<Bytes>& hashes,
                                             const Pin& pin) {
        return backend_->sign(cert_id, hash_alg, scheme, hashes, pin, [] { return true; });
    }

  private:
    std::unique_ptr<StoreBackend> backend_;
};

static_assert(TokenBackend<LoadedKeychainBackend>);
static_assert(TokenBackend<LoadedPkcs11Backend>);

}  // namespace tavrin::store
