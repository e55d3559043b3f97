#include "dialogs/module_alert_runner.h"

#include "ui_module/ui_module_loader.h"

namespace tavrin::host {
namespace {

constexpr const char* abandonedReason = "the browser closed the connection";

}  // namespace

AlertRunning* ModuleAlertRunner::loaded(std::string& problem) {
    auto module = UiModuleLoader::shared();
    if (!module) {
        problem = module.error();
        return nullptr;
    }
    AlertRunning& runner = module.value()->alertRunner();
    loaded_.store(&runner);
    // An abandon() that came while the module loaded found no runner to tell:
    // tell it now. (Published first, read next, as abandon() does the other
    // way round: at least one of the two reaches the runner.)
    if (abandoned_.load()) runner.abandon();
    return &runner;
}

AlertResponse ModuleAlertRunner::runAlert(const Alert& alert) {
    if (abandoned_.load()) return AlertResponse::notShown(abandonedReason);
    std::string problem;
    AlertRunning* runner = loaded(problem);
    if (runner == nullptr) return AlertResponse::notShown(problem);
    return runner->runAlert(alert);
}

AlertResponse ModuleAlertRunner::runWaitNotice(const Alert& alert, WaitControl& control) {
    std::string problem = abandonedReason;
    AlertRunning* runner = abandoned_.load() ? nullptr : loaded(problem);
    if (runner == nullptr) {
        if (abandoned_.load()) control.markCancelled();
        control.reportShown(false);
        return AlertResponse::notShown(problem);
    }
    return runner->runWaitNotice(alert, control);
}

void ModuleAlertRunner::abandon() {
    abandoned_.store(true);
    if (AlertRunning* runner = loaded_.load()) runner->abandon();
}

}  // namespace tavrin::host
