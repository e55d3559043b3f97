#pragma once
// The management window's data as the C functions the module calls back
// (TavrinUiManagementCalls): each asks `model`, encodes the answer as JSON
// bytes the host allocates and the module hands back to release(), and
// reports a failure (anything thrown) as a nonzero status with its text.

#include "ui_interface/management_model.h"
#include "ui_interface/ui_module_abi.h"

namespace tavrin::host {

// Calls into `model`, which must outlive every use of the table.
TavrinUiManagementCalls managementCalls(ManagementModel& model);

}  // namespace tavrin::host
