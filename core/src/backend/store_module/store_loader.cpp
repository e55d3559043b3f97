#include "backend/store_module/store_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <optional>

namespace tavrin::store {
namespace {

// The folder of the library or executable this function was linked into.
std::filesystem::path own_folder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&own_folder), &info) == 0 || info.dli_fname == nullptr)
        return {};
    std::error_code error;
    const auto path = std::filesystem::canonical(info.dli_fname, error);
    return error ? std::filesystem::path() : path.parent_path();
}

}  // namespace

std::string module_location() {
    const std::filesystem::path folder = own_folder();
    std::string name = (folder / kModuleFileName).string();
#ifdef TAVRIN_STORE_MODULE_FROM_BINDIR
    // Linked into the installed executable: the private library folder.
    std::error_code ignored;
    if (!std::filesystem::exists(name, ignored)) {
        name = (folder / TAVRIN_STORE_MODULE_FROM_BINDIR / kModuleFileName).lexically_normal();
    }
#endif
    return name;
}

namespace {

Result<const Factories*, std::string> load() {
    const std::string name = module_location();
    // Never unloaded: NSS and OpenSSL keep state for the life of the process.
    void* library = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = ::dlerror();
        return fail("cannot load " + name + ": " + (why ? why : "unknown error"));
    }
    auto entry = reinterpret_cast<TavrinBridgeStoreEntry>(::dlsym(library, kEntryName));
    if (entry == nullptr) return fail(name + " has no " + kEntryName);
    std::uint32_t offered = 0;
    const Factories* made = entry(kInterfaceVersion, &offered);
    if (made == nullptr) {
        return fail(name + " has interface version " + std::to_string(offered) +
                    ", this core needs version " + std::to_string(kInterfaceVersion));
    }
    return made;
}

}  // namespace

Result<const Factories*, std::string> factories() {
    static std::once_flag once;
    static std::optional<Result<const Factories*, std::string>> loaded;
    std::call_once(once, [] { loaded.emplace(load()); });
    return *loaded;
}

Result<StoreBackend*, BackendError> LoadedKeychainBackend::backend() {
    const std::lock_guard lock(*mutex_);
    if (!backend_) {
        auto made = factories();
        if (!made) return fail(BackendError::internal("load the identity store: " + made.error()));
        backend_ = made.value()->open_keychain();
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

}  // namespace tavrin::store
