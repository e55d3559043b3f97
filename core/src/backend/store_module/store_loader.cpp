#include "backend/store_module/store_loader.h"

#include <filesystem>
#include <optional>
#include <utility>

#include "backend/store_module/outcome_reading.h"
#include "common/module_loader.h"

namespace tavrin::store {
namespace {

std::vector<std::filesystem::path> module_candidates() {
    // The folder of the shared core or of the executable holding this code.
    return modules::candidates(modules::folder_holding(reinterpret_cast<void*>(&module_candidates)),
                               TAVRIN_STORE_MODULE_FILE);
}

Result<const TavrinStoreFunctions*, std::string> load() {
    auto opened = modules::open_first(module_candidates(), TAVRIN_STORE_ENTRY, "identity-store");
    if (!opened) return fail(opened.error());
    const auto entry = reinterpret_cast<TavrinStoreEntry>(opened.value().entry);
    std::uint32_t offered = 0;
    const TavrinStoreFunctions* made = entry(TAVRIN_STORE_ABI_VERSION, &offered);
    if (made == nullptr) {
        return fail(modules::version_mismatch(opened.value().path, "identity-store", offered,
                                              TAVRIN_STORE_ABI_VERSION));
    }
    return made;
}

// An outcome filled by one call of the module and released with this.
class Outcome {
  public:
    explicit Outcome(const TavrinStoreFunctions* functions) : functions_(functions) {}
    Outcome(const Outcome&) = delete;
    Outcome& operator=(const Outcome&) = delete;
    ~Outcome() { functions_->release(&outcome_); }
    TavrinStoreOutcome* out() { return &outcome_; }
    const TavrinStoreOutcome& read() const { return outcome_; }

  private:
    const TavrinStoreFunctions* functions_;
    TavrinStoreOutcome outcome_{};
};

TavrinStoreText text_of(std::string_view text) {
    return {text.data(), text.size()};
}

std::string string_of(TavrinStoreText text) {
    return text.size == 0 ? std::string() : std::string(text.data, text.size);
}

// Asked by the module after the login; what the core's callback throws
// withdraws the request rather than crossing into the module.
int login_returned_trampoline(void* context) {
    try {
        return (*static_cast<const std::function<bool()>*>(context))() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace

std::string module_location() {
    return modules::first_existing(module_candidates()).string();
}

Result<const TavrinStoreFunctions*, std::string> functions() {
    // Never unloaded: NSS and OpenSSL keep state for the life of the process.
    static modules::LoadOnce<const TavrinStoreFunctions*> once;
    return once.get(load);
}

ModuleBackend::ModuleBackend(ModuleBackend&& other) noexcept
    : functions_(other.functions_), handle_(std::exchange(other.handle_, nullptr)) {}

ModuleBackend::~ModuleBackend() {
    if (handle_ != nullptr) functions_->close(handle_);
}

Result<CertificateList, BackendError> ModuleBackend::list_certificates(Purpose purpose) {
    Outcome outcome(functions_);
    functions_->list_certificates(handle_, static_cast<std::uint8_t>(purpose), outcome.out());
    return certificates_of(outcome.read());
}

Result<KeyApproval, BackendError> ModuleBackend::key_approval(std::string_view cert_id) {
    Outcome outcome(functions_);
    functions_->key_approval(handle_, text_of(cert_id), outcome.out());
    return approval_of(outcome.read());
}

Result<SignatureList, BackendError> ModuleBackend::sign(
    std::string_view cert_id, HashAlg hash_alg, Scheme scheme, const std::vector<Bytes>& hashes,
    const Pin& pin, const std::function<bool()>& login_returned) {
    std::vector<TavrinStoreBytes> batch;
    batch.reserve(hashes.size());
    for (const Bytes& hash : hashes)
        batch.push_back({hash.data(), hash.size()});
    Outcome outcome(functions_);
    functions_->sign(handle_, text_of(cert_id), static_cast<std::uint8_t>(hash_alg),
                     static_cast<std::uint8_t>(scheme), batch.data(), batch.size(),
                     text_of(pin.view()), login_returned_trampoline,
                     const_cast<std::function<bool()>*>(&login_returned), outcome.out());
    return signatures_of(outcome.read());
}

std::size_t ModuleBackend::readers_without_card() {
    return functions_->readers_without_card(handle_);
}

Result<ModuleBackend*, BackendError> LoadedKeychainBackend::backend() {
    const std::lock_guard lock(*mutex_);
    if (!backend_) {
        auto loaded = functions();
        if (!loaded)
            return fail(BackendError::internal("load the identity store: " + loaded.error()));
        Outcome outcome(loaded.value());
        TavrinStoreBackend* handle = loaded.value()->open_keychain(outcome.out());
        if (handle == nullptr) {
            auto error = error_of(outcome.read());
            return fail(error ? *error : BackendError::internal("open the identity store"));
        }
        backend_ = std::make_unique<ModuleBackend>(loaded.value(), handle);
    }
    return backend_.get();
}

Result<CertificateList, BackendError> LoadedKeychainBackend::list_certificates(Purpose purpose) {
    auto store = backend();
    if (!store) return fail(store.error());
    return store.value()->list_certificates(purpose);
}

Result<KeyApproval, BackendError> LoadedKeychainBackend::key_approval(std::string_view cert_id) {
    auto store = backend();
    if (!store) return fail(store.error());
    return store.value()->key_approval(cert_id);
}

Result<SignatureList, BackendError> LoadedKeychainBackend::sign(
    std::string_view cert_id, HashAlg hash_alg, Scheme scheme, const std::vector<Bytes>& hashes,
    const Pin& pin, const std::function<bool()>& login_returned) {
    auto store = backend();
    if (!store) return fail(store.error());
    return store.value()->sign(cert_id, hash_alg, scheme, hashes, pin, login_returned);
}

std::size_t LoadedKeychainBackend::readers_without_card() {
    const std::lock_guard lock(*mutex_);
    return backend_ ? backend_->readers_without_card() : 0;
}

Result<LoadedPkcs11Backend, std::string> open_pkcs11(const char* module_path) {
    auto loaded = functions();
    if (!loaded) return fail(loaded.error());
    Outcome outcome(loaded.value());
    TavrinStoreBackend* handle = loaded.value()->open_pkcs11(module_path, outcome.out());
    if (handle == nullptr) {
        if (outcome.read().text.size != 0) return fail(string_of(outcome.read().text));
        auto error = error_of(outcome.read());
        return fail(error ? error->display() : std::string("open the token"));
    }
    return LoadedPkcs11Backend(ModuleBackend(loaded.value(), handle));
}

Result<std::string, std::string> examine(std::string_view step, std::string_view argument) {
    auto loaded = functions();
    if (!loaded) return fail(loaded.error());
    Outcome outcome(loaded.value());
    loaded.value()->examine(text_of(step), text_of(argument), outcome.out());
    if (auto error = error_of(outcome.read())) return fail(error->display());
    return string_of(outcome.read().text);
}

}  // namespace tavrin::store
