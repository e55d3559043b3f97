#include "backend/keychain/tokens/token_modules.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>

#include <p11-kit/p11-kit.h>

#include "backend/examination/registered_modules.h"
#include "backend/pkcs11/pkcs11_error.h"

namespace tavrin::keychain {
namespace {

void report(std::string_view module, std::string_view library, std::string_view cause) {
    std::fprintf(stderr, "tavrin-bridge: token module \"%.*s\" (%.*s) was not loaded: %.*s\n",
                 static_cast<int>(module.size()), module.data(), static_cast<int>(library.size()),
                 library.data(), static_cast<int>(cause.size()), cause.data());
}

std::string real_path(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string out(resolved);
    std::free(resolved);
    return out;
}

// A string p11-kit allocated, taken over and freed.
std::string taken(char* text) {
    if (text == nullptr) return {};
    std::string out(text);
    std::free(text);
    return out;
}

// p11-kit's proxy module offers every module p11-kit gives: registered in
// the database as well, it would reach each of them a second time.
bool is_p11kit_proxy(const std::string& library) {
    return library.find("p11-kit-proxy") != std::string::npos;
}

struct P11KitModule {
    CK_FUNCTION_LIST* functions;
    std::string name;
    std::string library;  // real path
};

// The modules p11-kit gives this program, loaded and not yet initialised.
// The array is released here; each module stays p11-kit's until released.
std::vector<P11KitModule> p11kit_modules() {
    std::vector<P11KitModule> modules;
    CK_FUNCTION_LIST** loaded = p11_kit_modules_load(nullptr, 0);
    if (loaded == nullptr) return modules;
    for (CK_FUNCTION_LIST** entry = loaded; *entry != nullptr; ++entry) {
        modules.push_back({*entry, taken(p11_kit_module_get_name(*entry)),
                           real_path(taken(p11_kit_module_get_filename(*entry)))});
    }
    // Frees the array only: the modules themselves are released one by one.
    std::free(loaded);
    return modules;
}

// A module p11-kit loaded, initialised for this process; finalised and
// released when the last holder lets go.
std::shared_ptr<const pkcs11::Module> initialised(CK_FUNCTION_LIST* functions) {
    std::shared_ptr<const void> owner(functions, [](const void* list) {
        auto* module = static_cast<CK_FUNCTION_LIST*>(const_cast<void*>(list));
        p11_kit_module_finalize(module);
        p11_kit_module_release(module);
    });
    return pkcs11::Module::wrap(functions, std::move(owner));
}

}  // namespace

std::vector<TokenModule> load_token_modules(const TokenModuleSources& sources) {
    std::vector<P11KitModule> from_p11kit;
    if (sources.p11kit) from_p11kit = p11kit_modules();
    std::set<std::string> p11kit_libraries;
    for (const P11KitModule& module : from_p11kit)
        p11kit_libraries.insert(module.library);

    std::vector<TokenModule> modules;
    std::set<std::string> loaded;
    if (!sources.database_dir.empty()) {
        for (const auto& registered : examination::database_modules(sources.database_dir)) {
            const std::string library = real_path(registered.library);
            if (sources.p11kit && (p11kit_libraries.contains(library) || is_p11kit_proxy(library)))
                continue;
            if (!loaded.insert(library).second) continue;
            auto module = pkcs11::Module::load(registered.library);
            if (!module) {
                report(registered.name, registered.library, module.error().text());
                continue;
            }
            modules.push_back(
                {registered.name, registered.library, std::move(module).value(), false});
        }
    }
    // The module files, for the modules p11-kit did not load and which
    // policy each one has.
    std::set<std::string> trust_libraries;
    std::vector<examination::RegisteredModule> registered;
    if (sources.p11kit) registered = examination::p11kit_modules();
    for (const auto& file : registered)
        if (file.trust_only) trust_libraries.insert(real_path(file.library));

    for (const P11KitModule& module : from_p11kit) {
        const CK_RV rv = p11_kit_module_initialize(module.functions);
        if (rv != CKR_OK) {
            report(module.name, module.library, pkcs11::Pkcs11Error{"Initialize", rv}.text());
            p11_kit_module_release(module.functions);
            continue;
        }
        const std::string policy = taken(p11_kit_config_option(module.functions, "trust-policy"));
        modules.push_back({module.name, module.library, initialised(module.functions),
                           policy == "yes" || trust_libraries.contains(module.library)});
    }
    // A module registered with p11-kit for this program that p11-kit did not
    // load: p11-kit drops it (after a message of its own).
    for (const auto& file : registered) {
        if (!file.disabled.empty() || file.library.empty()) continue;
        if (p11kit_libraries.contains(real_path(file.library))) continue;
        // Only a library that does not open is reported: one that does was
        // left out by p11-kit's own policy for this program.
        void* handle = ::dlopen(file.library.c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (handle != nullptr) {
            ::dlclose(handle);
            continue;
        }
        const char* why = ::dlerror();
        report(file.name, file.library, why != nullptr ? why : "the library could not be opened");
    }
    return modules;
}

}  // namespace tavrin::keychain
