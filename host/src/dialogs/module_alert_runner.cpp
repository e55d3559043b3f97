#include "dialogs/module_alert_runner.h"

#include "ui_module/ui_module_loader.h"

namespace tavrin::host {

AlertResponse ModuleAlertRunner::runAlert(const Alert& alert) {
    auto module = UiModuleLoader::shared();
    if (!module) return AlertResponse::notShown(module.error());
    return module.value()->alertRunner().runAlert(alert);
}

}  // namespace tavrin::host
