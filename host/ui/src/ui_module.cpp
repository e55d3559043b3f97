// The module's entry point: the factory the host looks up after dlopen.

#include "ui_interface/ui_module.h"
#include "real_alert_runner.h"
#include "window/preview_renderer.h"
#include "window/window_runner.h"

namespace tavrin::host::ui {
namespace {

class QtUiModule final : public UiModule {
  public:
    AlertRunning& alertRunner() override { return alerts_; }
    int runManagementWindow(ManagementModel& model) override {
        return ui::runManagementWindow(model);
    }
    int renderPreview(ManagementModel& model, const std::string& path) override {
        return ui::renderPreview(model, path);
    }

  private:
    RealAlertRunner alerts_;
};

}  // namespace
}  // namespace tavrin::host::ui

extern "C" __attribute__((visibility("default"))) tavrin::host::UiModule* tavrin_bridge_ui_create(
    std::uint32_t hostVersion, std::uint32_t* moduleVersion) {
    *moduleVersion = tavrin::host::uiModuleInterfaceVersion;
    if (hostVersion != tavrin::host::uiModuleInterfaceVersion) return nullptr;
    static tavrin::host::ui::QtUiModule instance;
    return &instance;
}
