// Refusing user-interface modules the host cannot use. (The real module's
// answer without a display is checked through the real executable.)

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "ui_module/ui_module_loader.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;

TEST(UiModuleLoader, RefusesWhatItCannotUseAndSaysWhy) {
    testing::TempDir folder;
    const fs::path garbage = folder.path() / "libtavrin_bridge_ui.so";
    testing::write_file(garbage, "not a shared object");
    const std::string mismatched = TAVRIN_MISMATCHED_UI_MODULE;
    const struct {
        std::vector<fs::path> candidates;
        std::string error;  // its beginning
    } cases[] = {
        {UiModuleLoader::candidates("/nonexistent/bin"),
         "the user-interface module libtavrin_bridge_ui.so is not in /nonexistent/bin or "
         "/nonexistent/lib"},
        // The first candidate that exists is the one used.
        {{"/nonexistent/libtavrin_bridge_ui.so", mismatched},
         mismatched + " has user-interface interface version " +
             std::to_string(uiModuleInterfaceVersion + 1) + ", this program needs version " +
             std::to_string(uiModuleInterfaceVersion)},
        {{TAVRIN_CORE_LIBRARY},
         std::string(TAVRIN_CORE_LIBRARY) + " is not a Tavrin Bridge user-interface module (no "
                                            "tavrin_bridge_ui_create)"},
        {{garbage}, "cannot load " + garbage.string() + ": "},
    };
    for (const auto& c : cases) {
        const auto loaded = UiModuleLoader::loadFrom(c.candidates);
        ASSERT_FALSE(loaded) << c.error;
        EXPECT_EQ(loaded.error().substr(0, c.error.size()), c.error);
    }
}

}  // namespace
}  // namespace tavrin::host
