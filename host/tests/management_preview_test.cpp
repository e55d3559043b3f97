// "--render-preview PATH" through the real executable: a PNG twice the
// window's width, and no browser connected. (Its failure line is checked in
// host_process_test, the window's content in the Xvfb tests.)

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/host_process.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;

TEST(ManagementPreview, RendersAtDoubleWidthAndTouchesNothingElse) {
    testing::TempDir home;
    testing::write_file(home.path() / ".local/share/cz.tavrin.bridge/consent.json",
                        R"({"origins":{"https://úřad.example.cz":)"
                        R"({"purposes":["sign","auth"],"grantedAtUnix":1767225600}}})");
    const std::string before = testing::list_tree(home.path());
    testing::TempDir output;
    const fs::path png = output.path() / "preview.png";
    // An existing file is replaced.
    testing::write_file(png, "an older, longer file that is not a picture at all");

    testing::HostRun run{{"--render-preview", png.string()}, home.path()};
    // A screen platform in the environment must not matter: there is no
    // display, and the preview needs none.
    run.environment = {{"QT_QPA_PLATFORM", "xcb"}};
    const auto result = testing::runHost(run);

    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err + result.out, "");
    // No manifest written, no marker, no consent folder.
    EXPECT_EQ(testing::list_tree(home.path()), before);
    // The height varies with the content; rendered at device pixel ratio 2 it is even.
    EXPECT_EQ(testing::shellOutput("identify -format '%m %w %[fx:h%2]' '" + png.string() + "'"),
              "PNG 1120 0");
}

}  // namespace
}  // namespace tavrin::host
