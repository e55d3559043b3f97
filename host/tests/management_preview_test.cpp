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

void installAllManifests(const fs::path& home) {
    for (const char* folder :
         {".config/google-chrome/NativeMessagingHosts",
          ".config/microsoft-edge/NativeMessagingHosts", ".mozilla/native-messaging-hosts"}) {
        testing::write_file(home / folder / "cz.tavrin.bridge.json", "{}");
    }
}

TEST(ManagementPreview, RendersThisHomesDataAtDoubleWidthAndTouchesNothingElse) {
    testing::TempDir output;
    const struct Case {
        std::string name;
        bool grants;
        bool manifests;
        std::map<std::string, std::string> environment;
    } cases[] = {
        // A screen platform in the environment must not matter: there is no
        // display, and the preview needs none.
        {"empty", false, false, {{"QT_QPA_PLATFORM", "xcb"}}},
        {"two-grants", true, false, {}},
        {"connected", false, true, {}},
    };
    std::map<std::string, std::string> images;
    std::map<std::string, PngSize> sizes;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir home;
        if (c.grants)
            testing::write_file(home.path() / ".local/share/cz.tavrin.bridge/consent.json",
                                twoGrants);
        if (c.manifests) installAllManifests(home.path());
        const std::string before = testing::list_tree(home.path());
        const fs::path png = output.path() / (c.name + ".png");
        // An existing file is replaced.
        testing::write_file(png, "an older, longer file that is not a picture at all");

        testing::HostRun run{{"--render-preview", png.string()}, home.path()};
        run.environment = c.environment;
        const auto result = testing::runHost(run);

        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, "");
        // No manifest written, no marker, no consent folder.
        EXPECT_EQ(testing::list_tree(home.path()), before);
        images[c.name] = testing::read_file(png);
        const auto size = pngSize(png);
        ASSERT_TRUE(size) << "not a PNG";
        EXPECT_EQ(size->width, 1120u);
        EXPECT_GT(size->height, 600u);
        EXPECT_EQ(size->height % 2, 0u) << "rendered at device pixel ratio 2";
        sizes[c.name] = *size;
    }
    EXPECT_NE(images["empty"], images["two-grants"]);
    EXPECT_NE(images["empty"], images["connected"]);
    // With every browser connected the "Pokročilé" section with its button
    // and manifest paths is gone, so the picture is shorter.
    EXPECT_LT(sizes["connected"].height, sizes["empty"].height);
}

TEST(ManagementPreview, AFileThatCannotBeWrittenFailsWithTheReasonAndCreatesNoFolder) {
    testing::TempDir home;
    const fs::path missing = home.path() / "no-such-folder";
    // A file in a missing folder, and a folder where the file should go.
    for (const fs::path& path : {missing / "preview.png", home.path()}) {
        SCOPED_TRACE(path.string());
        const auto result = testing::runHost({{"--render-preview", path.string()}, home.path()});
        EXPECT_EQ(result.exitStatus, 1);
        const std::string prefix = "render-preview: zápis selhal: ";
        EXPECT_EQ(result.err.substr(0, prefix.size()), prefix) << result.err;
        EXPECT_GT(result.err.size(), prefix.size() + 1) << "no reason given";
        EXPECT_EQ(result.err.back(), '\n');
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(fs::exists(missing));
    }
}

}  // namespace
}  // namespace tavrin::host
