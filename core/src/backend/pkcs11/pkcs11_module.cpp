#include "backend/pkcs11/pkcs11_module.h"

#include <dlfcn.h>

#include <condition_variable>
#include <map>
#include <mutex>

#include "backend/pkcs11/pkcs11_error.h"

namespace tavrin::pkcs11 {
namespace {

// The modules loaded by this process, by dlopen handle (the same library
// gives the same handle whatever path named it). An entry leaves the map only
// once its module is finalised and unloaded; an expired entry is a module on
// its way out, which a new load waits for rather than initialising the
// library while it is still being finalised.
struct Registry {
    std::mutex mutex;
    std::condition_variable released;
    std::map<void*, std::weak_ptr<const Module>> loaded;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

std::string dl_error_text() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown dynamic loader error";
}

}  // namespace

Module::Module(const CK_FUNCTION_LIST* functions, void* library, bool finalize,
               std::shared_ptr<const void> owner)
    : functions_(functions), library_(library), finalize_(finalize), owner_(std::move(owner)) {}

Module::~Module() {
    if (library_ == nullptr) return;
    Registry& modules = registry();
    {
        std::lock_guard lock(modules.mutex);
        if (finalize_) functions_->C_Finalize(nullptr);
        dlclose(library_);
        modules.loaded.erase(library_);
    }
    modules.released.notify_all();
}

Result<std::shared_ptr<const Module>, BackendError> Module::load(const std::string& path) {
    if (path.empty()) return BackendError::middleware_missing("no PKCS#11 module path given");

    Registry& modules = registry();
    std::unique_lock lock(modules.mutex);
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return BackendError::middleware_missing(dl_error_text());

    for (auto entry = modules.loaded.find(library); entry != modules.loaded.end();
         entry = modules.loaded.find(library)) {
        if (auto held = entry->second.lock()) {
            dlclose(library);  // the held module keeps its own reference
            return held;
        }
        modules.released.wait(lock);
    }

    const auto fail = [&](const std::string& cause) {
        dlclose(library);
        return BackendError::middleware_missing(path + ": " + cause);
    };
    auto* get_function_list =
        reinterpret_cast<CK_C_GetFunctionList>(dlsym(library, "C_GetFunctionList"));
    if (get_function_list == nullptr) return fail("not a PKCS#11 module (no C_GetFunctionList)");
    CK_FUNCTION_LIST* functions = nullptr;
    CK_RV rv = get_function_list(&functions);
    if (rv != CKR_OK || functions == nullptr) {
        return fail(Pkcs11Error{"GetFunctionList", rv != CKR_OK ? rv : CKR_GENERAL_ERROR}.text());
    }

    // No mutex callbacks: the module locks with the operating system's
    // primitives, or not at all if it needs none.
    CK_C_INITIALIZE_ARGS args{};
    args.flags = CKF_OS_LOCKING_OK;
    rv = functions->C_Initialize(&args);
    if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
        return fail(Pkcs11Error{"Initialize", rv}.text());
    }

    std::shared_ptr<const Module> module(new Module(functions, library, rv == CKR_OK, nullptr));
    modules.loaded.emplace(library, module);
    return module;
}

std::shared_ptr<const Module> Module::wrap(const CK_FUNCTION_LIST* functions,
                                           std::shared_ptr<const void> owner) {
    return std::shared_ptr<const Module>(new Module(functions, nullptr, false, std::move(owner)));
}

}  // namespace tavrin::pkcs11
