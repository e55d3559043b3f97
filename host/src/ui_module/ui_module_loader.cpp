#include "ui_module/ui_module_loader.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>

namespace tavrin::host::UiModuleLoader {
namespace {

namespace fs = std::filesystem;

fs::path executableDirectory() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

// One host-side handle per module table, kept as long as the process: the
// module is never unloaded, and a test may load the same module again.
UiModule* handleFor(const TavrinUiModule& table) {
    static std::mutex mutex;
    static std::map<const TavrinUiModule*, std::unique_ptr<UiModule>> handles;
    std::lock_guard lock(mutex);
    auto& handle = handles[&table];
    if (!handle) handle = std::make_unique<UiModule>(table);
    return handle.get();
}

}  // namespace

std::vector<fs::path> candidates(const fs::path& executableDir) {
    std::vector<fs::path> paths = {
        executableDir / moduleFileName,
        (executableDir / ".." / "lib" / moduleFileName).lexically_normal()};
#ifdef TAVRIN_PKGLIBDIR_FROM_BINDIR
    // The program's private library folder once installed (e.g.
    // lib/x86_64-linux-gnu/tavrin-bridge).
    paths.push_back(
        (executableDir / TAVRIN_PKGLIBDIR_FROM_BINDIR / moduleFileName).lexically_normal());
#endif
    return paths;
}

Result<UiModule*, std::string> loadFrom(const std::vector<fs::path>& paths) {
    for (const fs::path& path : paths) {
        std::error_code ignored;
        if (!fs::is_regular_file(path, ignored)) continue;
        const std::string name = path.string();
        // A module that is refused stays mapped: unloading it could run the
        // destructors of libraries (Qt) that other code has started to use.
        void* library = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* why = ::dlerror();
            return std::string("cannot load " + name + ": " + (why ? why : "unknown error"));
        }
        auto create = reinterpret_cast<TavrinUiCreate>(::dlsym(library, TAVRIN_BRIDGE_UI_ENTRY));
        if (create == nullptr) {
            return std::string(name + " is not a Tavrin Bridge user-interface module (no " +
                               TAVRIN_BRIDGE_UI_ENTRY + ")");
        }
        std::uint32_t moduleVersion = 0;
        const TavrinUiModule* table = create(uiModuleInterfaceVersion, &moduleVersion);
        if (moduleVersion != uiModuleInterfaceVersion) {
            return std::string(name + " has user-interface interface version " +
                               std::to_string(moduleVersion) + ", this program needs version " +
                               std::to_string(uiModuleInterfaceVersion));
        }
        if (table == nullptr || table->version != uiModuleInterfaceVersion)
            return std::string(name + " did not start");
        return handleFor(*table);
    }
    std::string where;
    for (const fs::path& path : paths)
        where += (where.empty() ? "" : " or ") + path.parent_path().string();
    return std::string(std::string("the user-interface module ") + moduleFileName + " is not in " +
                       where);
}

Result<UiModule*, std::string> shared() {
    static std::optional<Result<UiModule*, std::string>> loaded;
    if (!loaded) loaded.emplace(loadFrom(candidates(executableDirectory())));
    return *loaded;
}

}  // namespace tavrin::host::UiModuleLoader
