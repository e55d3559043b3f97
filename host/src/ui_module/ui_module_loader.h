#pragma once
// Finds and loads the user-interface module on first use.

#include <filesystem>
#include <string>
#include <vector>

#include "common/result.h"
#include "ui_module/ui_module.h"

namespace tavrin::host::UiModuleLoader {

inline constexpr const char* moduleFileName = "libtavrin_bridge_ui.so";

// Where the module may be, in the order tried: beside the executable (the
// build tree), in <executable dir>/../lib and in the program's private
// library folder of the installation (lib/<multiarch>/tavrin-bridge).
std::vector<std::filesystem::path> candidates(const std::filesystem::path& executableDir);

// Loads the first candidate that exists and checks its interface version.
// The error text says which file failed and why, or where it was looked for.
Result<UiModule*, std::string> loadFrom(const std::vector<std::filesystem::path>& candidates);

// The module for this process, loaded once from beside the executable (a
// failure is remembered too), whichever thread asks first.
Result<UiModule*, std::string> shared();

}  // namespace tavrin::host::UiModuleLoader
