// Finding and loading the user-interface module, refusing modules it cannot
// use, and the real module's answer when there is no display to show on.

#include <gtest/gtest.h>

#include <cstdlib>

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

TEST(UiModuleLoader, WithoutADisplayTheRealModuleShowsNothingAndSaysWhy) {
    auto module = UiModuleLoader::loadFrom({TAVRIN_UI_MODULE});
    ASSERT_TRUE(module) << module.error();
    Alert alert;
    alert.messageText = "?";
    alert.buttons = {"Povolit", "Odmítnout"};

    const struct {
        const char* display;  // nullptr: unset
        const char* platform;
        const char* reason;
    } cases[] = {
        // Prompts never use a platform without a screen: nobody could answer.
        {nullptr, "offscreen", "no display: DISPLAY is not set"},
        {":64999", nullptr, "cannot open the display :64999"},
    };
    for (const auto& c : cases) {
        c.display ? ::setenv("DISPLAY", c.display, 1) : ::unsetenv("DISPLAY");
        c.platform ? ::setenv("QT_QPA_PLATFORM", c.platform, 1) : ::unsetenv("QT_QPA_PLATFORM");
        const AlertResponse response = module.value()->alertRunner().runAlert(alert);
        EXPECT_EQ(response.notShownReason, c.reason);
        EXPECT_EQ(response.response, noAlertResponse);
    }
}

}  // namespace
}  // namespace tavrin::host
