// A user-interface module built against a later interface revision: the
// host must refuse it by its version, without calling into it.

#include "ui_interface/ui_module.h"

extern "C" __attribute__((visibility("default"))) tavrin::host::UiModule* tavrin_bridge_ui_create(
    std::uint32_t, std::uint32_t* moduleVersion) {
    *moduleVersion = tavrin::host::uiModuleInterfaceVersion + 1;
    return nullptr;
}
