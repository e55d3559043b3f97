// The entry of the identity-store module: wraps the NSS (keychain) and
// PKCS#11 backends behind the module's interface.

#include "backend/keychain/keychain_backend.h"
#include "backend/pkcs11/pkcs11_backend.h"
#include "backend/store_module/store_examination.h"
#include "backend/store_module/store_interface.h"

namespace tavrin::store {
namespace {

class KeychainStore final : public StoreBackend {
  public:
    KeychainStore() : backend_(keychain::make_default_keychain_platform()) {}
    Result<CertificateList, BackendError> list_certificates(Purpose purpose) override {
        return backend_.list_certificates(purpose);
    }
    Result<KeyApproval, BackendError> key_approval(std::string_view cert_id) override {
        return backend_.key_approval(cert_id);
    }
    Result<SignatureList, BackendError> sign(std::string_view cert_id, HashAlg hash_alg,
                                             Scheme scheme, const std::vector<Bytes>& hashes,
                                             const Pin& pin,
                                             const std::function<bool()>& login_returned) override {
        return backend_.sign(cert_id, hash_alg, scheme, hashes, pin, login_returned);
    }
    std::size_t readers_without_card() override { return backend_.readers_without_card(); }

  private:
    KeychainBackend backend_;
};

class Pkcs11Store final : public StoreBackend {
  public:
    explicit Pkcs11Store(pkcs11::Session session) : backend_(std::move(session)) {}
    Result<CertificateList, BackendError> list_certificates(Purpose purpose) override {
        return backend_.list_certificates(purpose);
    }
    Result<KeyApproval, BackendError> key_approval(std::string_view) override {
        return KeyApproval::TypedPin;
    }
    Result<SignatureList, BackendError> sign(std::string_view cert_id, HashAlg hash_alg,
                                             Scheme scheme, const std::vector<Bytes>& hashes,
                                             const Pin& pin,
                                             const std::function<bool()>& login_returned) override {
        auto made = backend_.sign(cert_id, hash_alg, scheme, hashes, pin);
        login_returned();
        return made;
    }
    std::size_t readers_without_card() override { return 0; }

  private:
    Pkcs11Backend backend_;
};

std::unique_ptr<StoreBackend> open_keychain() {
    return std::make_unique<KeychainStore>();
}

Result<std::unique_ptr<StoreBackend>, std::string> open_pkcs11(const char* module_path) {
    auto module = pkcs11::Module::load(module_path);
    if (!module) return fail(module.error().display());
    auto slot = pkcs11::first_token_slot(*module.value());
    if (!slot) return fail(slot.error().display());
    auto session = pkcs11::Session::open(std::move(module).value(), slot.value());
    if (!session) {
        return fail(BackendError::internal("open session: " + session.error().text()).display());
    }
    return std::unique_ptr<StoreBackend>(std::make_unique<Pkcs11Store>(std::move(session).value()));
}

constexpr Factories kFactories{open_keychain, open_pkcs11, examine};

}  // namespace
}  // namespace tavrin::store

extern "C" __attribute__((visibility("default"))) const tavrin::store::Factories*
tavrin_bridge_store_entry(std::uint32_t wanted, std::uint32_t* offered) {
    *offered = tavrin::store::kInterfaceVersion;
    return wanted == tavrin::store::kInterfaceVersion ? &tavrin::store::kFactories : nullptr;
}
