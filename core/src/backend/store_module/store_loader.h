#pragma once
// Loading the identity-store module (store_abi.h) and the backends the
// dispatcher uses over it. The keychain backend loads the module on its
// first call, so a process that never lists or signs never maps OpenSSL or
// NSS; a module that cannot be loaded makes each call fail with the reason.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "backend/store_module/store_abi.h"
#include "backend/token_backend.h"
#include "common/result.h"

namespace tavrin::store {

// The module's functions, loaded once per process from the folder of the
// library or executable that holds this code (the executable also looks in
// the private library folder it is installed with), or why they cannot be had.
Result<const TavrinStoreFunctions*, std::string> functions();

// The file functions() loads (or would load) the module from.
std::string module_location();

// One backend the module made, closed with its owner.
class ModuleBackend {
  public:
    ModuleBackend(const TavrinStoreFunctions* functions, TavrinStoreBackend* handle)
        : functions_(functions), handle_(handle) {}
    ModuleBackend(ModuleBackend&& other) noexcept;
    ModuleBackend& operator=(ModuleBackend&&) = delete;
    ModuleBackend(const ModuleBackend&) = delete;
    ~ModuleBackend();

    Result<CertificateList, BackendError> list_certificates(Purpose purpose);
    Result<KeyApproval, BackendError> key_approval(std::string_view cert_id);
    Result<SignatureList, BackendError> sign(std::string_view cert_id, HashAlg hash_alg,
                                             Scheme scheme, const std::vector<Bytes>& hashes,
                                             const Pin& pin,
                                             const std::function<bool()>& login_returned);
    std::size_t readers_without_card();

  private:
    const TavrinStoreFunctions* functions_;
    TavrinStoreBackend* handle_;
};

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
    Result<ModuleBackend*, BackendError> backend();

    std::unique_ptr<std::mutex> mutex_ = std::make_unique<std::mutex>();
    std::unique_ptr<ModuleBackend> backend_;
};

// The PKCS#11 backend, made when the handle is created (the module is
// needed at once to open the token's session).
class LoadedPkcs11Backend {
  public:
    static constexpr bool requires_pin = true;

    explicit LoadedPkcs11Backend(ModuleBackend backend) : backend_(std::move(backend)) {}

    Result<CertificateList, BackendError> list_certificates(Purpose purpose) {
        return backend_.list_certificates(purpose);
    }
    Result<SignatureList, BackendError> sign(std::string_view cert_id, HashAlg hash_alg,
                                             Scheme scheme, const std::vector<Bytes>& hashes,
                                             const Pin& pin) {
        return backend_.sign(cert_id, hash_alg, scheme, hashes, pin, [] { return true; });
    }

  private:
    ModuleBackend backend_;
};

// The backend over the first token of the PKCS#11 module at the path, or
// the text of the step that failed.
Result<LoadedPkcs11Backend, std::string> open_pkcs11(const char* module_path);

// One step of the diagnostic report (the module's JSON document), or why
// the module cannot answer it.
Result<std::string, std::string> examine(std::string_view step, std::string_view argument);

static_assert(TokenBackend<LoadedKeychainBackend>);
static_assert(TokenBackend<LoadedPkcs11Backend>);

}  // namespace tavrin::store
