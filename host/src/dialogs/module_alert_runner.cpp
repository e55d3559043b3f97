#include "dialogs/module_alert_runner.h"

#include "ui_module/ui_module_loader.h"

namespace tavrin::host {

AlertResponse ModuleAlertRunner::runAlert(const Alert& alert) {
    auto module = UiModuleLoader::shared();
    if (!module) return AlertResponse::notShown(module.error());
    return module.value()->alertRunner().runAlert(alert);
}

AlertResponse ModuleAlertRunner::runWaitNotice(const Alert& alert, WaitControl& control) {
    auto module = UiModuleLoader::shared();
    if (!module) {
        control.reportShown(false);
        return AlertResponse::notShown(module.error());
    }
    return module.value()->alertRunner().runWaitNotice(alert, control);
}

}  // namespace tavrin::host
