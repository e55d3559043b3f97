// The installer subcommands, run against a temporary home folder.

#include "browser/native_messaging_cli.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

using namespace tavrin::testing;

using B = NativeMessagingBrowser;
using Args = std::vector<std::string>;

constexpr const char* install = "install-native-messaging-host";
constexpr const char* uninstall = "uninstall-native-messaging-host";

class CliTest : public ::testing::Test {
  protected:
    std::optional<std::int32_t> run(Args arguments) {
        out.str({});
        err.str({});
        return NativeMessagingCLI::run(arguments, installer, out, err);
    }
    nlohmann::json manifestOf(B browser) {
        return nlohmann::json::parse(read_file(installer.manifestURL(browser)));
    }

    TempDir home;
    NativeMessagingManifestInstaller installer{{home.path(), home.configHome()},
                                               "/usr/bin/tavrin-bridge"};
    std::ostringstream out;
    std::ostringstream err;
};

// Without --browser (or with "all"): the nine main browsers always, the
// others only where the user has them and only if they can connect.
TEST_F(CliTest, InstallWithoutOptionsOrWithAllWritesTheMainBrowsersAndThosePresent) {
    namespace fs = std::filesystem;
    fs::create_directories(home.configHome() / "BraveSoftware/Brave-Browser");
    fs::create_directories(home.path() / "snap/chromium");
    fs::create_directories(home.path() / ".var/app/org.chromium.Chromium");
    for (const Args& arguments :
         {Args{"prog", install}, Args{"prog", install, "--browser", "all"}}) {
        ASSERT_EQ(run(arguments), 0);
        std::string expected;
        for (const char* name :
             {"chrome", "edge", "firefox", "chrome-beta", "chrome-dev", "chrome-canary",
              "edge-beta", "edge-dev", "edge-canary", "brave", "chromium-flatpak"}) {
            const B browser = *browserFromRawValue(name);
            expected += std::string("Installed ") + name + " native messaging host manifest at " +
                        installer.manifestURL(browser).string();
            if (browser == B::chromiumFlatpak)
                expected +=
                    "; let the browser start it outside its sandbox with: flatpak "
                    "override --user --talk-name=org.freedesktop.Flatpak "
                    "org.chromium.Chromium";
            expected += "\n";
            EXPECT_TRUE(installer.currentExtensionIDs(browser).has_value()) << name;
        }
        EXPECT_EQ(out.str(), expected);
        EXPECT_EQ(err.str(), "");
    }
    // The Chromium-based additions take the Chrome store's extension.
    EXPECT_EQ(manifestOf(B::brave), manifestOf(B::chrome));
    for (const char* absent : {".config/chromium", ".config/vivaldi", "snap/chromium/common",
                               ".var/app/com.google.Chrome"})
        EXPECT_FALSE(fs::exists(home.path() / absent)) << absent;
}

// Named, a browser is handled whether or not it is there; the Chromium snap
// cannot be connected at all.
TEST_F(CliTest, ANamedBrowserIsWrittenEvenWhereItIsMissingExceptTheChromiumSnap) {
    ASSERT_EQ(run({"prog", install, "--browser", "vivaldi-flatpak"}), 0);
    EXPECT_TRUE(installer.currentExtensionIDs(B::vivaldiFlatpak).has_value());
    ASSERT_EQ(run({"prog", install, "--browser", "firefox-snap"}), 0);
    EXPECT_EQ(out.str(), "Installed firefox-snap native messaging host manifest at " +
                             installer.manifestURL(B::firefox).string() + "\n");

    EXPECT_EQ(run({"prog", install, "--browser", "chromium-snap"}), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(),
              "tavrin-bridge: chromium-snap: Chromium (snap) cannot start native messaging hosts "
              "outside its sandbox; use Chromium from the distribution's packages or Google "
              "Chrome\n");
}

TEST_F(CliTest, BadBrowserValueStopsBeforeAnyFile) {
    const std::string all =
        "all, chrome, edge, firefox, chrome-beta, chrome-dev, chrome-canary, edge-beta, edge-dev, "
        "edge-canary, chromium, brave, vivaldi, chromium-snap, firefox-snap, chromium-flatpak, "
        "chrome-flatpak, brave-flatpak, edge-flatpak, vivaldi-flatpak, firefox-flatpak";
    const struct {
        Args arguments;
        std::string message;
    } cases[] = {
        {{"prog", install, "--browser", "Chrome"},
         "tavrin-bridge: unknown --browser value 'Chrome' (expected one of: " + all + ")\n"},
        {{"prog", install, "--browser"}, "tavrin-bridge: --browser requires a value\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.arguments), 1);
        EXPECT_EQ(err.str(), c.message);
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_EQ(list_tree(home.path()), "");
}

// Each --extension-id takes the argument after it, whatever it is; a last
// one without a value counts for nothing.
TEST_F(CliTest, ExtraExtensionIDsFollowTheBuiltInOnesOnceForTheFirstBrowserNamed) {
    ASSERT_EQ(run({"prog", install, "--browser", "chrome", "--extension-id", "extra", "--browser",
                   "edge", "--extension-id", "extra", "--extension-id",
                   "mjoobkgcfnnckjkpfghdaegipnkhdide", "--extension-id"}),
              0);
    EXPECT_EQ(out.str(), "Installed chrome native messaging host manifest at " +
                             installer.manifestURL(B::chrome).string() + "\n");
    EXPECT_EQ(manifestOf(B::chrome)["allowed_origins"],
              nlohmann::json({"chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/",
                              "chrome-extension://mjoobkgcfnnckjkpfghdaegipnkhdide/",
                              "chrome-extension://extra/"}));
}

TEST_F(CliTest, UninstallOfAMissingManifestSucceeds) {
    ASSERT_EQ(run({"prog", uninstall, "--browser", "firefox"}), 0);
    EXPECT_EQ(out.str(), "Uninstalled firefox native messaging host manifest (if present)\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(CliTest, OneFailingBrowserDoesNotStopTheOthers) {
    write_file(home.configHome() / "google-chrome", "a file, not a folder");
    ASSERT_EQ(run({"prog", install}), 1);
    const std::string errors = err.str();
    const std::string results = out.str();
    EXPECT_EQ(errors.rfind("tavrin-bridge: chrome: create directory ", 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1);
    EXPECT_EQ(std::count(results.begin(), results.end(), '\n'), 8);
    EXPECT_EQ(results.rfind("Installed edge ", 0), 0u);
}

}  // namespace
}  // namespace tavrin::host
