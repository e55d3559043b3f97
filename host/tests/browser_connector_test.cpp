// Automatic connection, manifest status and the first-run marker, against a
// temporary home folder.

#include "browser/browser_connector.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "browser/browser_manifest_status.h"
#include "browser/first_run_store.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

using namespace tavrin::testing;

using B = NativeMessagingBrowser;
using R = BrowserConnectOutcome::Result;

class ConnectorTest : public ::testing::Test {
  protected:
    NativeMessagingManifestInstaller installer() {
        return NativeMessagingManifestInstaller({home.path(), home.configHome()},
                                                "/usr/bin/tavrin-bridge");
    }
    static bool never(std::string_view) { return false; }

    TempDir home;
};

TEST_F(ConnectorTest, ExistingManifestsDecideBetweenRewriteAndPreserve) {
    const struct {
        B browser;
        const char* existing;  // nullptr: no file
        R expected;
    } cases[] = {
        {B::chrome, nullptr, R::connected()},
        // A subset of ours is replaced by the full list.
        {B::chrome,
         R"({"allowed_origins":["chrome-extension://mjoobkgcfnnckjkpfghdaegipnkhdide/"]})",
         R::connected()},
        {B::chrome, "{ broken", R::connected()},
        {B::chrome,
         R"({"allowed_origins":["chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/",)"
         R"("chrome-extension://foreign/"]})",
         R::manualOverridePreserved()},
        // An Edge manifest naming a Chrome ID is foreign to Edge.
        {B::edge, R"({"allowed_origins":["chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/"]})",
         R::manualOverridePreserved()},
        {B::firefox, R"({"allowed_extensions":["other@example.org"]})",
         R::manualOverridePreserved()},
        {B::firefox, R"({"allowed_extensions":["bridge@tavrin.cz"]})", R::connected()},
    };
    for (const auto& c : cases) {
        TempDir fresh;
        NativeMessagingManifestInstaller local({fresh.path(), fresh.configHome()}, "/usr/bin/tb");
        const auto path = local.manifestURL(c.browser);
        if (c.existing != nullptr) write_file(path, c.existing);

        const auto outcomes = BrowserConnector::connectAll(local, never);
        ASSERT_EQ(outcomes.size(), 3u);
        const auto& outcome = outcomes[static_cast<std::size_t>(c.browser)];
        EXPECT_EQ(outcome, (BrowserConnectOutcome{c.browser, c.expected}))
            << rawValue(c.browser) << " " << (c.existing ? c.existing : "(none)");

        if (c.expected == R::manualOverridePreserved()) {
            EXPECT_EQ(read_file(path), c.existing);
        } else {
            const auto ids =
                local.currentExtensionIDs(c.browser).value_or(std::vector<std::string>{});
            EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()),
                      BrowserConnector::recognizedExtensionIDs(c.browser));
        }
    }
}

// Added browsers only where the user has them, and never a confined one (a
// confined Firefox reads Firefox's manifest); a failure becomes an outcome
// and the others still run.
TEST_F(ConnectorTest, EachBrowserPresentIsConnectedOrReportsItsFailure) {
    namespace fs = std::filesystem;
    fs::create_directories(home.configHome() / "BraveSoftware/Brave-Browser");
    fs::create_directories(home.path() / "snap/firefox/common/.mozilla");
    write_file(home.configHome() / "vivaldi", "a file, not a profile folder");
    write_file(home.configHome() / "google-chrome", "not a folder");

    std::vector<B> connected;
    for (const auto& outcome : BrowserConnector::connectAll(installer(), never)) {
        if (outcome.browser == B::chrome) {
            EXPECT_EQ(outcome.result.message().rfind("create directory ", 0), 0u)
                << outcome.result.message();
        } else {
            EXPECT_EQ(outcome.result, R::connected()) << rawValue(outcome.browser);
        }
        connected.push_back(outcome.browser);
    }
    EXPECT_EQ(connected, (std::vector<B>{B::chrome, B::edge, B::firefox, B::brave}));
    EXPECT_EQ(installer().currentExtensionIDs(B::brave),
              (std::vector<std::string>{"jigokomhlkbkpcgkinakfomodbijdcpi",
                                        "mjoobkgcfnnckjkpfghdaegipnkhdide"}));
    EXPECT_FALSE(fs::exists(home.configHome() / "chromium"));
    EXPECT_FALSE(fs::exists(home.path() / "snap/chromium"));

    const auto statuses = BrowserManifestStatus::all(installer());
    ASSERT_EQ(statuses.size(), 5u);
    EXPECT_EQ(statuses[0], (BrowserManifestStatus{B::chrome, false,
                                                  installer().manifestURL(B::chrome).string()}));
    EXPECT_EQ(statuses[4], (BrowserManifestStatus{B::firefoxSnap, true,
                                                  installer().manifestURL(B::firefox).string()}));
    EXPECT_EQ(list_tree(home.path() / "snap"),
              "firefox\nfirefox/common\nfirefox/common/.mozilla\n");
}

// The Xvfb management window test sees the marker written on the first launch;
// here: a written marker is recognised, so later launches are not first ones.
TEST_F(ConnectorTest, AWrittenFirstRunMarkerIsRecognised) {
    const auto marker = FirstRunStore::url(home.path() / "data" / "cz.tavrin.bridge");
    EXPECT_FALSE(FirstRunStore::isCompleted(marker));
    ASSERT_TRUE(FirstRunStore::markCompleted(marker));
    EXPECT_TRUE(FirstRunStore::isCompleted(marker));
}

}  // namespace
}  // namespace tavrin::host
