#include "ui_module/ui_module_loader.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>

#include "common/module_loader.h"

namespace tavrin::host::UiModuleLoader {
namespace {

namespace fs = std::filesystem;

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
    return modules::candidates(executableDir, moduleFileName);
}

Result<UiModule*, std::string> loadFrom(const std::vector<fs::path>& paths) {
    auto opened = modules::open_first(paths, TAVRIN_BRIDGE_UI_ENTRY, "user-interface");
    if (!opened) return fail(opened.error());
    const std::string& name = opened.value().path;
    auto create = reinterpret_cast<TavrinUiCreate>(opened.value().entry);
    std::uint32_t moduleVersion = 0;
    const TavrinUiModule* table = create(uiModuleInterfaceVersion, &moduleVersion);
    if (moduleVersion != uiModuleInterfaceVersion) {
        return fail(modules::version_mismatch(name, "user-interface", moduleVersion,
                                              uiModuleInterfaceVersion));
    }
    if (table == nullptr || table->version != uiModuleInterfaceVersion)
        return fail(name + " did not start");
    return handleFor(*table);
}

Result<UiModule*, std::string> shared() {
    static modules::LoadOnce<UiModule*> once;
    return once.get([] {
        return loadFrom(candidates(modules::folder_holding(reinterpret_cast<void*>(&shared))));
    });
}

}  // namespace tavrin::host::UiModuleLoader
