// The entry of the identity-store module: the NSS (keychain) and PKCS#11
// backends behind the plain C table of store_abi.h. Everything C++ stays on
// this side: each function turns its arguments into the backends' types,
// calls them, and lays the result out as plain records in storage that
// `release` frees. Nothing thrown here leaves the module.

#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "backend/keychain/keychain_backend.h"
#include "backend/pkcs11/pkcs11_backend.h"
#include "backend/store_module/outcome_layout.h"
#include "backend/store_module/store_abi.h"
#include "backend/store_module/store_examination.h"

// The backend behind the opaque handle.
struct TavrinStoreBackend {
    virtual ~TavrinStoreBackend() = default;
    virtual tavrin::Result<tavrin::CertificateList, tavrin::BackendError> list_certificates(
        tavrin::Purpose purpose) = 0;
    virtual tavrin::Result<tavrin::KeyApproval, tavrin::BackendError> key_approval(
        std::string_view cert_id) = 0;
    virtual tavrin::Result<tavrin::SignatureList, tavrin::BackendError> sign(
        std::string_view cert_id, tavrin::HashAlg hash_alg, tavrin::Scheme scheme,
        const std::vector<tavrin::Bytes>& hashes, const tavrin::Pin& pin,
        const std::function<bool()>& login_returned) = 0;
    virtual std::size_t readers_without_card() = 0;
};

namespace tavrin::store {
namespace {

class KeychainStore final : public TavrinStoreBackend {
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

class Pkcs11Store final : public TavrinStoreBackend {
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

TavrinStoreBackend* open_keychain(TavrinStoreOutcome* outcome) {
    TavrinStoreBackend* made = nullptr;
    guarded(outcome, "open the identity store", [&] { made = new KeychainStore(); });
    return made;
}

// A token that cannot be opened answers the text of the step that failed,
// as the C interface shows it.
void put_open_failure(TavrinStoreOutcome* outcome, const std::string& display) {
    put_error(outcome, BackendError::internal(display));
    put_text(outcome, display);
}

TavrinStoreBackend* open_pkcs11(const char* module_path, TavrinStoreOutcome* outcome) {
    TavrinStoreBackend* made = nullptr;
    guarded(outcome, "open the token", [&] {
        auto module = pkcs11::Module::load(module_path);
        if (!module) return put_open_failure(outcome, module.error().display());
        auto slot = pkcs11::first_token_slot(*module.value());
        if (!slot) return put_open_failure(outcome, slot.error().display());
        auto session = pkcs11::Session::open(std::move(module).value(), slot.value());
        if (!session) {
            return put_open_failure(
                outcome,
                BackendError::internal("open session: " + session.error().text()).display());
        }
        made = new Pkcs11Store(std::move(session).value());
    });
    return made;
}

// Whether `raw` is a value of the core's enumeration E.
template <class E>
bool known(std::uint8_t raw) {
    return raw < WireNames<E>::names.size();
}

void close(TavrinStoreBackend* backend) {
    delete backend;
}

void list_certificates(TavrinStoreBackend* backend, std::uint8_t purpose,
                       TavrinStoreOutcome* outcome) {
    guarded(outcome, "list certificates", [&] {
        if (!known<Purpose>(purpose))
            return put_error(outcome, BackendError::internal("list certificates: unknown purpose"));
        auto listed = backend->list_certificates(static_cast<Purpose>(purpose));
        if (!listed) return put_error(outcome, listed.error());
        put_certificates(outcome, std::move(listed).value());
    });
}

void key_approval(TavrinStoreBackend* backend, TavrinStoreText cert_id,
                  TavrinStoreOutcome* outcome) {
    guarded(outcome, "look up the key", [&] {
        auto approval = backend->key_approval(view_of(cert_id));
        if (!approval) return put_error(outcome, approval.error());
        outcome->approval = static_cast<std::uint8_t>(approval.value());
    });
}

void sign(TavrinStoreBackend* backend, TavrinStoreText cert_id, std::uint8_t hash_alg,
          std::uint8_t scheme, const TavrinStoreBytes* hashes, std::size_t hash_count,
          TavrinStoreText pin_text, TavrinStoreLoginReturned login_returned, void* login_context,
          TavrinStoreOutcome* outcome) {
    guarded(outcome, "sign", [&] {
        if (!known<HashAlg>(hash_alg) || !known<Scheme>(scheme))
            return put_error(outcome,
                             BackendError::internal("sign: unknown hash algorithm or scheme"));
        std::vector<Bytes> batch;
        batch.reserve(hash_count);
        for (std::size_t i = 0; i < hash_count; ++i)
            batch.emplace_back(hashes[i].data, hashes[i].data + hashes[i].size);
        // The module's own copy of the PIN, on wiped secret pages.
        const Pin pin(view_of(pin_text));
        const std::function<bool()> returned = [&] {
            return login_returned == nullptr || login_returned(login_context) != 0;
        };
        auto made = backend->sign(view_of(cert_id), static_cast<HashAlg>(hash_alg),
                                  static_cast<Scheme>(scheme), batch, pin, returned);
        if (!made) return put_error(outcome, made.error());
        put_signatures(outcome, std::move(made).value());
    });
}

std::size_t readers_without_card(TavrinStoreBackend* backend) {
    try {
        return backend->readers_without_card();
    } catch (...) {
        return 0;
    }
}

void examine_step(TavrinStoreText step, TavrinStoreText argument, TavrinStoreOutcome* outcome) {
    guarded(outcome, "examine",
            [&] { put_text(outcome, examine(view_of(step), view_of(argument))); });
}

constexpr TavrinStoreFunctions kFunctions{
    open_keychain, open_pkcs11,          close,        list_certificates, key_approval,
    sign,          readers_without_card, examine_step, release_outcome,
};

}  // namespace
}  // namespace tavrin::store

extern "C" __attribute__((visibility("default"))) const TavrinStoreFunctions*
tavrin_bridge_store_entry(std::uint32_t wanted, std::uint32_t* offered) {
    if (offered != nullptr) *offered = TAVRIN_STORE_ABI_VERSION;
    return wanted == TAVRIN_STORE_ABI_VERSION ? &tavrin::store::kFunctions : nullptr;
}
