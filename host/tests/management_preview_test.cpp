// The window preview through the real executable: "--render-preview PATH"
// renders this home's data into a PNG twice the window's width, connects no
// browser, and reports a file it cannot write.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "support/host_process.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;

struct PngSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// As ImageMagick reads the file; nothing if it is not a PNG.
std::optional<PngSize> pngSize(const fs::path& file) {
    testing::Child identify({.argv = {"identify", "-format", "%m %w %h", file.string()},
                             .out = testing::Stream::pipe,
                             .err = testing::Stream::null});
    std::istringstream out(identify.readOut());
    identify.wait();
    std::string format;
    PngSize size;
    if (!(out >> format >> size.width >> size.height) || format != "PNG") return std::nullopt;
    return size;
}

const char* const twoGrants = R"({
  "origins": {
    "https://podpis.example.cz": {"purposes": ["sign", "auth"], "grantedAtUnix": 1767225600},
    "https://úřad.example.cz": {"purposes": ["auth"], "grantedAtUnix": 1767312000}
  }
})";

TEST(ManagementPreview, RendersThisHomesDataAtDoubleWidthAndTouchesNothingElse) {
    testing::TempDir output;
    std::map<bool, std::string> images;
    for (const bool grants : {false, true}) {
        SCOPED_TRACE(grants);
        testing::TempDir home;
        if (grants)
            testing::write_file(home.path() / ".local/share/cz.tavrin.bridge/consent.json",
                                twoGrants);
        const std::string before = testing::list_tree(home.path());
        const fs::path png = output.path() / (grants ? "two-grants.png" : "empty.png");
        // An existing file is replaced.
        testing::write_file(png, "an older, longer file that is not a picture at all");

        testing::HostRun run{{"--render-preview", png.string()}, home.path()};
        // A screen platform in the environment must not matter: there is no
        // display, and the preview needs none.
        run.environment = {{"QT_QPA_PLATFORM", "xcb"}};
        const auto result = testing::runHost(run);

        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, "");
        // No manifest written, no marker, no consent folder.
        EXPECT_EQ(testing::list_tree(home.path()), before);
        images[grants] = testing::read_file(png);
        const auto size = pngSize(png);
        ASSERT_TRUE(size) << "not a PNG";
        EXPECT_EQ(size->width, 1120u);
        EXPECT_GT(size->height, 600u);
        EXPECT_EQ(size->height % 2, 0u) << "rendered at device pixel ratio 2";
    }
    EXPECT_NE(images[false], images[true]);
}

TEST(ManagementPreview, AFileInAMissingFolderFailsWithTheReasonAndCreatesNoFolder) {
    testing::TempDir home;
    const fs::path missing = home.path() / "no-such-folder";
    const auto result =
        testing::runHost({{"--render-preview", (missing / "preview.png").string()}, home.path()});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "render-preview: zápis selhal: " + (missing / "preview.png").string() +
                              ": No such file or directory\n");
    EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
}  // namespace tavrin::host
