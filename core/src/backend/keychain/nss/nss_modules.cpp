#include "backend/keychain/nss/nss_modules.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>

#include <nss.h>
#include <pk11pub.h>
#include <prerror.h>
#include <secmod.h>
// This one header of NSS's lacks the C linkage guards.
extern "C" {
#include <utilpars.h>
}

namespace tavrin::keychain {
namespace {

void report(std::string_view module, std::string_view library, std::string_view cause) {
    std::fprintf(stderr, "tavrin-bridge: token module \"%.*s\" (%.*s) was not loaded: %.*s\n",
                 static_cast<int>(module.size()), module.data(), static_cast<int>(library.size()),
                 library.data(), static_cast<int>(cause.size()), cause.data());
}

std::string nss_error_text() {
    const PRErrorCode code = PORT_GetError();
    const char* text = code != 0 ? PR_ErrorToString(code, PR_LANGUAGE_I_DEFAULT) : nullptr;
    if (text == nullptr || *text == '\0') return "error code " + std::to_string(code);
    return text;
}

// NSS keeps no cause for a module of the database that failed: a library
// that does not open says why through the loader; anything else failed in
// the module's own initialisation.
std::string load_failure_cause(const char* library) {
    if (library == nullptr || *library == '\0') return "no library is named";
    void* handle = ::dlopen(library, RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        return why != nullptr ? why : "the library could not be opened";
    }
    ::dlclose(handle);
    return "the module failed to initialise";
}

std::string real_path(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string out(resolved);
    std::free(resolved);
    return out;
}

// The libraries of the modules NSS has loaded, by their real paths.
std::set<std::string> loaded_libraries() {
    std::set<std::string> libraries;
    SECMODListLock* lock = SECMOD_GetDefaultModuleListLock();
    SECMOD_GetReadLock(lock);
    for (SECMODModuleList* entry = SECMOD_GetDefaultModuleList(); entry != nullptr;
         entry = entry->next) {
        const SECMODModule* module = entry->module;
        if (module == nullptr || !module->loaded || module->dllName == nullptr) continue;
        libraries.insert(real_path(module->dllName));
    }
    SECMOD_ReleaseReadLock(lock);
    return libraries;
}

std::string spec_value(const char* name, const char* spec) {
    char* value = NSSUTIL_ArgGetParamValue(name, spec);
    if (value == nullptr) return {};
    std::string out(value);
    PORT_Free(value);
    return out;
}

// NSS drops a module of the database that does not load without a word:
// each one the database names that is not among the loaded ones is reported.
void report_modules_not_loaded(const std::set<std::string>& loaded) {
    for (SECMODModuleList* db = SECMOD_GetDBModuleList(); db != nullptr; db = db->next) {
        char** specs = SECMOD_GetModuleSpecList(db->module);
        if (specs == nullptr) continue;
        for (char** spec = specs; *spec != nullptr; ++spec) {
            const std::string library = spec_value("library", *spec);
            if (library.empty() || loaded.contains(real_path(library))) continue;
            report(spec_value("name", *spec), library, load_failure_cause(library.c_str()));
        }
        SECMOD_FreeModuleSpecList(db->module, specs);
    }
}

}  // namespace

NssModules::NssModules(const std::string& proxy_path) {
    struct stat st {};
    const bool exists = !proxy_path.empty() && ::stat(proxy_path.c_str(), &st) == 0;
    const std::set<std::string> loaded = loaded_libraries();
    report_modules_not_loaded(loaded);
    if (!exists || loaded.contains(real_path(proxy_path))) return;

    std::string spec = "name=\"p11-kit-proxy\" library=\"" + proxy_path + "\"";
    PORT_SetError(0);
    SECMODModule* module = SECMOD_LoadUserModule(spec.data(), nullptr, PR_FALSE);
    if (module != nullptr && module->loaded) {
        proxy_ = module;
        return;
    }
    report("p11-kit-proxy", proxy_path, nss_error_text());
    if (module != nullptr) SECMOD_DestroyModule(module);
}

NssModules::~NssModules() {
    if (proxy_ == nullptr) return;
    SECMOD_UnloadUserModule(proxy_);
    SECMOD_DestroyModule(proxy_);
}

std::string default_p11kit_proxy_path() {
#ifdef TAVRIN_P11KIT_PROXY_MODULE
    return TAVRIN_P11KIT_PROXY_MODULE;
#else
    return {};
#endif
}

}  // namespace tavrin::keychain
