#pragma once
// The identity-store part of the core, built as a module of its own
// (libtavrin_bridge_store.so) because it needs OpenSSL and NSS: mapping and
// relocating those costs every process that loads them, and a host started
// only to answer "status" never needs them. The core loads the module with
// dlopen the first time a listing or a signature needs a backend.
//
// Core and module are built together from one tree with one compiler, so the
// interface is C++; the version below guards against a stray older module.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "backend/token_backend.h"

namespace tavrin::store {

inline constexpr std::uint32_t kInterfaceVersion = 3;
inline constexpr const char* kModuleFileName = "libtavrin_bridge_store.so";
inline constexpr const char* kEntryName = "tavrin_bridge_store_entry";

// One backend made by the module. The keychain form answers all four; the
// PKCS#11 form never needs key_approval or readers_without_card.
class StoreBackend {
  public:
    virtual ~StoreBackend() = default;
    virtual Result<CertificateList, BackendError> list_certificates(Purpose purpose) = 0;
    virtual Result<KeyApproval, BackendError> key_approval(std::string_view cert_id) = 0;
    virtual Result<SignatureList, BackendError> sign(
        std::string_view cert_id, HashAlg hash_alg, Scheme scheme, const std::vector<Bytes>& hashes,
        const Pin& pin, const std::function<bool()>& login_returned) = 0;
    virtual std::size_t readers_without_card() = 0;
};

// What the module's entry hands out.
struct Factories {
    // The backend over the user's identity store (NSS on Linux).
    std::unique_ptr<StoreBackend> (*open_keychain)();
    // The backend over the first token of the PKCS#11 module at the path,
    // or the text of the step that failed.
    Result<std::unique_ptr<StoreBackend>, std::string> (*open_pkcs11)(const char* module_path);
    // One step of the diagnostic report as a JSON document (store_examination.h).
    std::string (*examine)(std::string_view step, std::string_view argument);
};

}  // namespace tavrin::store

// The module's one exported function: writes the module's interface version
// to `offered` and returns its factories when `wanted` equals it, else NULL.
extern "C" {
using TavrinBridgeStoreEntry = const tavrin::store::Factories* (*)(std::uint32_t wanted,
                                                                   std::uint32_t* offered);
}
