// The manifest installer against a temporary home folder.

#include "browser/manifest_installer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

#include "browser/identifiers.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

using namespace tavrin::testing;

using B = NativeMessagingBrowser;

ProcessLocator fixedLocator(std::optional<std::string> running, std::optional<std::string> cwd) {
    return ProcessLocator{[running] { return running; }, [cwd] { return cwd; }};
}

class ManifestInstallerTest : public ::testing::Test {
  protected:
    NativeMessagingManifestInstaller installer(
        std::string executablePath = "/opt/tavrin/tavrin-bridge") {
        return NativeMessagingManifestInstaller({home.path(), home.configHome()},
                                                std::move(executablePath),
                                                fixedLocator("/usr/lib/tavrin/real-exe", "/tmp/x"));
    }
    nlohmann::json manifestOf(B browser) {
        return nlohmann::json::parse(read_file(installer().manifestURL(browser)));
    }

    TempDir home;
};

// Each browser's folder is a fixed table; the real browsers find theirs in the
// end-to-end tests. What is computed is the base: the config home is its own,
// not necessarily below home.
TEST(ManifestInstaller, ChromiumFoldersAreBelowTheConfigHomeFirefoxsBelowHome) {
    NativeMessagingManifestInstaller elsewhere({"/h", "/xdg/conf"}, "/bin/x");
    EXPECT_EQ(elsewhere.manifestURL(B::edgeDev),
              "/xdg/conf/microsoft-edge-dev/NativeMessagingHosts/cz.tavrin.bridge.json");
    // A Flatpak's folders are below its application folder; a confined
    // Firefox is read from the ordinary folder by the desktop; the Chromium
    // snap has none.
    EXPECT_EQ(elsewhere.manifestURL(B::braveFlatpak),
              "/h/.var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser/"
              "NativeMessagingHosts/cz.tavrin.bridge.json");
    EXPECT_EQ(elsewhere.wrapperURL(B::braveFlatpak),
              "/h/.var/app/com.brave.Browser/data/cz.tavrin.bridge/flatpak-host");
    EXPECT_EQ(elsewhere.manifestURL(B::firefoxSnap), elsewhere.manifestURL(B::firefox));
    EXPECT_EQ(elsewhere.manifestURL(B::firefoxFlatpak), elsewhere.manifestURL(B::firefox));
    EXPECT_EQ(elsewhere.manifestURL(B::chromiumSnap), "");
}

// The manifest of a Chromium-based Flatpak names a wrapper beside it that
// leaves the sandbox; the wrapper quotes the executable's path for the shell.
// (It runs, through a stand-in flatpak-spawn, in host_process_test.)
TEST_F(ManifestInstallerTest, AFlatpakGetsAWrapperAndTheSnapChromiumNothing) {
    const auto quoted = installer("/opt/it's here/tavrin-bridge");
    const std::vector<std::string> ids = {"id"};
    ASSERT_TRUE(quoted.install(B::edgeFlatpak, ids));
    const auto wrapper = quoted.wrapperURL(B::edgeFlatpak);
    EXPECT_EQ(manifestOf(B::edgeFlatpak)["path"], wrapper.string());
    EXPECT_EQ(read_file(wrapper),
              "#!/bin/sh\n"
              "# Written by tavrin-bridge install-native-messaging-host. The browser runs in a\n"
              "# Flatpak sandbox and starts this script inside it; flatpak-spawn runs the\n"
              "# bridge on the host with the same arguments and standard streams.\n"
              "exec flatpak-spawn --host '/opt/it'\\''s here/tavrin-bridge' \"$@\"\n");
    EXPECT_EQ(static_cast<unsigned>(std::filesystem::status(wrapper).permissions()), 0755u);
    ASSERT_TRUE(quoted.uninstall(B::edgeFlatpak));
    EXPECT_EQ(list_tree(home.path() / ".var/app/com.microsoft.Edge"),
              "config\nconfig/microsoft-edge\nconfig/microsoft-edge/NativeMessagingHosts\n"
              "data\ndata/cz.tavrin.bridge\n");

    const auto refused = installer().install(B::chromiumSnap, ids);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), NativeMessagingInstallerError::cannotConnect(B::chromiumSnap));
    EXPECT_TRUE(installer().uninstall(B::chromiumSnap));
    EXPECT_EQ(list_tree(home.path() / "snap"), "");
}

TEST_F(ManifestInstallerTest, ChromeManifestHasFiveMembersInAscendingOrderPrettyPrinted) {
    const std::vector<std::string> ids = {"aaaa", "bbbb", "bbbb"};  // written as given
    ASSERT_TRUE(installer().install(B::chrome, ids));
    // The manifest alone: no temporary file is left beside it.
    EXPECT_EQ(list_tree(installer().manifestURL(B::chrome).parent_path()),
              "cz.tavrin.bridge.json = {\n"
              "  \"allowed_origins\": [\n"
              "    \"chrome-extension://aaaa/\",\n"
              "    \"chrome-extension://bbbb/\",\n"
              "    \"chrome-extension://bbbb/\"\n"
              "  ],\n"
              "  \"description\": \"Tavrin Bridge native host\",\n"
              "  \"name\": \"cz.tavrin.bridge\",\n"
              "  \"path\": \"/opt/tavrin/tavrin-bridge\",\n"
              "  \"type\": \"stdio\"\n"
              "}\n\n");
}

TEST_F(ManifestInstallerTest, AnUnchangedManifestIsNotRewrittenAChangedOneIs) {
    const auto inode = [&] {
        struct stat info {};
        ::lstat(installer().manifestURL(B::edge).c_str(), &info);
        return info.st_ino;
    };
    const std::vector<std::string> ids = {"aaaa"};
    ASSERT_TRUE(installer().install(B::edge, ids));
    const ino_t first = inode();
    ASSERT_TRUE(installer().install(B::edge, ids));
    EXPECT_EQ(inode(), first) << "the same manifest was written again";

    const std::vector<std::string> other = {"bbbb"};
    ASSERT_TRUE(installer().install(B::edge, other));
    EXPECT_NE(inode(), first);
    EXPECT_EQ(manifestOf(B::edge)["allowed_origins"], nlohmann::json({"chrome-extension://bbbb/"}));

    // A link to a file with the same text is replaced by the file itself.
    const std::filesystem::path target = installer().manifestURL(B::edge);
    std::filesystem::rename(target, home.path() / "elsewhere.json");
    std::filesystem::create_symlink(home.path() / "elsewhere.json", target);
    ASSERT_TRUE(installer().install(B::edge, other));
    EXPECT_FALSE(std::filesystem::is_symlink(target));
}

TEST_F(ManifestInstallerTest, ManifestsAndTheirNewFoldersHaveFixedModesWhateverTheUmask) {
    const mode_t saved = ::umask(0);
    const bool installed = installer().install(B::chrome, std::vector<std::string>{"id"}).ok();
    ::umask(saved);
    ASSERT_TRUE(installed);
    const auto mode = [](const std::filesystem::path& p) {
        return static_cast<unsigned>(std::filesystem::symlink_status(p).permissions());
    };
    const auto manifest = installer().manifestURL(B::chrome);
    EXPECT_EQ(mode(manifest), 0644u);
    EXPECT_EQ(mode(manifest.parent_path()), 0755u);
    EXPECT_EQ(mode(manifest.parent_path().parent_path()), 0755u);
}

TEST_F(ManifestInstallerTest, ChromiumNeedsIDsFirefoxAlwaysGetsTheBuiltInAddonOnly) {
    auto result = installer().install(B::edge, {});
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), NativeMessagingInstallerError::noExtensionIDsProvided(B::edge));
    EXPECT_EQ(list_tree(home.path()), "") << "nothing is touched before the check";

    ASSERT_TRUE(installer().install(B::firefox, std::vector<std::string>{"other@example.org"}));
    const nlohmann::json manifest = manifestOf(B::firefox);
    EXPECT_EQ(manifest["allowed_extensions"], nlohmann::json({"bridge@tavrin.cz"}));
    EXPECT_EQ(manifest.size(), 5u);
}

// Argument 0 resolved and standardised; an unknown location fails instead
// of writing a relative path.
TEST_F(ManifestInstallerTest, ExecutablePathIsResolvedAndStandardised) {
    const ProcessLocator known = fixedLocator("/usr/lib/tavrin/real-exe", "/tmp/x");
    const struct {
        const char* argument0;
        ProcessLocator locator;
        const char* expected;  // nullptr: refused
    } cases[] = {
        {"tavrin-bridge", fixedLocator(std::nullopt, "/tmp/x"), nullptr},
        {"bin/tavrin-bridge", fixedLocator("/usr/bin/x", std::nullopt), nullptr},
        {"bin/host", known, "/tmp/x/bin/host"},
        {"../up/./host", known, "/tmp/up/host"},
        {"/a//b/./c/../", known, "/a/b"},
        // Found through PATH: the running program, not the working directory.
        {"tavrin-bridge", known, "/usr/lib/tavrin/real-exe"},
        {"", known, "/usr/lib/tavrin/real-exe"},
    };
    for (const auto& c : cases) {
        NativeMessagingManifestInstaller located({home.path(), home.configHome()}, c.argument0,
                                                 c.locator);
        const auto installed = located.install(B::chrome, std::vector<std::string>{"id"});
        if (c.expected) {
            ASSERT_TRUE(installed) << c.argument0;
            EXPECT_EQ(manifestOf(B::chrome)["path"], c.expected) << c.argument0;
        } else {
            ASSERT_FALSE(installed) << c.argument0;
            EXPECT_EQ(installed.error().description().rfind("resolve executable path: ", 0), 0u)
                << installed.error().description();
            EXPECT_EQ(list_tree(home.path()), "");
        }
    }
}

TEST_F(ManifestInstallerTest, ReadsBackExtensionIDs) {
    using IDs = std::optional<std::vector<std::string>>;
    const struct {
        B browser;
        const char* content;
        IDs expected;
    } cases[] = {
        {B::chrome, R"({"allowed_origins":["https://example.com/","chrome-extension://abc/"]})",
         IDs{{"abc"}}},
        {B::chrome, R"({"allowed_origins":["chrome-extension://a","chrome-extension://b//"]})",
         IDs{{"a", "b/"}}},
        {B::chrome, R"({"allowed_origins":["chrome-extension://abc/", 7]})", std::nullopt},
        {B::chrome, R"({"allowed_origins":["chrome-extension://abc/"])", std::nullopt},
        {B::firefox, R"({"allowed_extensions":["x@y","chrome-extension://z/"]})",
         IDs{{"x@y", "chrome-extension://z/"}}},
    };
    for (const auto& c : cases) {
        write_file(installer().manifestURL(c.browser), c.content);
        EXPECT_EQ(installer().currentExtensionIDs(c.browser), c.expected) << c.content;
    }
    EXPECT_EQ(installer().currentExtensionIDs(B::edge), std::nullopt);  // no file
    // A FIFO at the path must not block the reader (the host waits for the
    // background connection before it exits).
    const auto fifo = installer().manifestURL(B::edgeBeta);
    std::filesystem::create_directories(fifo.parent_path());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(installer().currentExtensionIDs(B::edgeBeta), std::nullopt);
}

// A folder where the manifest should be: the final rename fails. (A file in
// place of a folder is reported through the CLI and the connector.)
TEST_F(ManifestInstallerTest, AFailedReplaceReportsTheStepAndLeavesNoTemporaryFile) {
    const std::vector<std::string> ids = {"id"};
    const auto chromePath = installer().manifestURL(B::chrome);
    write_file(chromePath / "keep", "x");
    auto replaced = installer().install(B::chrome, ids);
    ASSERT_FALSE(replaced);
    EXPECT_EQ(replaced.error().kind(), NativeMessagingInstallerError::Kind::fileSystem);
    EXPECT_NE(replaced.error().description().find("replace " + chromePath.string() + ": "),
              std::string::npos)
        << replaced.error().description();
    EXPECT_EQ(list_tree(chromePath.parent_path()),
              "cz.tavrin.bridge.json\ncz.tavrin.bridge.json/keep = x\n");
}

TEST_F(ManifestInstallerTest, UninstallRemovesAndSucceedsWhenNothingIsThere) {
    ASSERT_TRUE(installer().install(B::firefox, {}));
    EXPECT_TRUE(installer().uninstall(B::firefox));
    EXPECT_FALSE(std::filesystem::exists(installer().manifestURL(B::firefox)));
    EXPECT_TRUE(installer().uninstall(B::firefox));
    // A file where the browser's folder should be: no manifest can be there.
    write_file(home.configHome() / "google-chrome", "a file");
    EXPECT_TRUE(installer().uninstall(B::chrome));
}

TEST_F(ManifestInstallerTest, UnknownHomeFolderWritesNothing) {
    NativeMessagingManifestInstaller homeless({{}, {}}, "/usr/bin/tavrin-bridge");
    const std::vector<std::string> ids = {"id"};
    EXPECT_FALSE(homeless.install(B::chrome, ids));
    EXPECT_FALSE(homeless.uninstall(B::firefox));
    EXPECT_EQ(homeless.currentExtensionIDs(B::chrome), std::nullopt);
}

}  // namespace
}  // namespace tavrin::host
