#include "management/management_app.h"

#include <cstdio>

#include "browser/first_run_store.h"
#include "browser/manifest_installer.h"
#include "browser/translocation.h"
#include "dialogs/module_alert_runner.h"
#include "management/launch_sequence.h"
#include "management/management_model_impl.h"
#include "ui_module/ui_module_loader.h"

namespace tavrin::host {
namespace {

// The user-interface module, or nothing after one line on standard error
// that starts with `prefix`.
UiModule* loadUiModule(const char* prefix) {
    auto module = UiModuleLoader::shared();
    if (!module) {
        std::fprintf(stderr, "%s%s\n", prefix, module.error().c_str());
        return nullptr;
    }
    return module.value();
}

}  // namespace

int ManagementApp::run(const std::string& executablePath) {
    const auto installer = NativeMessagingManifestInstaller::withDefaultFolders(executablePath);
    ModuleAlertRunner prompts;
    bool quitting = false;

    LaunchSequence sequence;
    sequence.isRunningTranslocated = AppTranslocationDetector::isTranslocated;
    // The folder of the running program stands for the application bundle.
    const auto resolved = installer.resolvedExecutablePath();
    sequence.currentLocation =
        std::filesystem::path(resolved ? resolved.value() : executablePath).parent_path();
    sequence.relocateIfTranslocated = [&](const std::filesystem::path& bundle) {
        return SelfRelocator::run(
            bundle, SelfRelocator::Operations::platformDefaults(prompts, [&] { quitting = true; }));
    };
    sequence.connectBrowsers = [&] { return BrowserConnector::connectAll(installer); };
    sequence.firstRunMarker = FirstRunStore::url();

    const auto launch = sequence.run();
    if (!launch || quitting) return 0;

    UiModule* module = loadUiModule("tavrin-bridge: cannot show the management window: ");
    if (module == nullptr) return 1;
    ManagementModelImpl model(executablePath, launch->autoConnectOutcomes,
                              launch->isFirstEverLaunch, true);
    return module->runManagementWindow(model);
}

int ManagementApp::renderPreview(const std::string& executablePath, const std::string& outputPath) {
    UiModule* module = loadUiModule("render-preview: ");
    if (module == nullptr) return 1;
    // The preview shows the manifests as they are: no connection runs, so
    // there are no outcomes and no first-run note.
    ManagementModelImpl model(executablePath, std::nullopt, false, false);
    return module->renderPreview(model, outputPath);
}

}  // namespace tavrin::host
