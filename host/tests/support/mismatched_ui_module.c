/* A user-interface module built against a later interface revision: the
 * host must refuse it by its version, without calling into it. Written in C,
 * which also checks that the boundary's header is C. */

#include "ui_interface/ui_module_abi.h"

__attribute__((visibility("default"))) const TavrinUiModule* tavrin_bridge_ui_create(
    uint32_t host_version, uint32_t* module_version) {
    (void)host_version;
    *module_version = TAVRIN_UI_INTERFACE_VERSION + 1;
    return NULL;
}
