#pragma once
// Draws the showcase off screen at twice its size and writes it as PNG.

#include <string>

#include "ui_interface/management_model.h"

namespace tavrin::host::ui {

// 0, or 1 after one "render-preview: ..." line on standard error. Writes the
// file in place (no temporary file) and creates no directory.
int renderPreview(ManagementModel& model, const std::string& path);

}  // namespace tavrin::host::ui
