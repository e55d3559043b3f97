// Row states, banners and the advanced section of the browser view.

#include "browser/connection_presentation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

using B = NativeMessagingBrowser;
using R = BrowserConnectOutcome::Result;
using S = BrowserRowState;

std::vector<BrowserManifestStatus> statuses(bool chrome, bool edge, bool firefox) {
    return {{B::chrome, chrome, "/c.json"},
            {B::edge, edge, "/e.json"},
            {B::firefox, firefox, "/f.json"}};
}

std::vector<BrowserConnectOutcome> outcomes(R chrome, R edge, R firefox) {
    return {{B::chrome, chrome}, {B::edge, edge}, {B::firefox, firefox}};
}

TEST(BrowserPresentation, LastOutcomeWinsOverManifestExistence) {
    const std::vector<BrowserConnectOutcome> last = {{B::chrome, R::failed("disk full")}};
    const auto failed = presentBrowsers(statuses(true, false, true), last, false).rows;
    EXPECT_EQ(failed[0].state, S::failed);
    EXPECT_EQ(failed[0].failureMessage, "disk full");
    EXPECT_EQ(failed[1].state, S::notConnected);  // no outcome for these: from the manifest
    EXPECT_EQ(failed[2].state, S::connected);
}

TEST(BrowserPresentation, AtMostOneBannerInPriorityOrder) {
    const auto all = outcomes(R::connected(), R::connected(), R::connected());
    const auto translocated =
        outcomes(R::appNotInApplicationsFolder(), R::appNotInApplicationsFolder(),
                 R::appNotInApplicationsFolder());
    const auto oneFailed = outcomes(R::connected(), R::failed("x"), R::connected());

    const auto banner = [](const std::vector<BrowserConnectOutcome>& last, bool first) {
        return presentBrowsers(statuses(true, true, true), last, first).banner;
    };
    // The first-run banner's text is read from the window in the Xvfb test.
    EXPECT_EQ(banner(translocated, true).value_or(Banner{}).symbol,
              "exclamationmark.triangle.fill");
    EXPECT_EQ(banner(oneFailed, true).value_or(Banner{}).symbol, "sparkles");
    EXPECT_EQ(banner(all, false),
              (Banner{"checkmark.circle.fill", ColourRole::green,
                      "Hotovo — všechny prohlížeče jsou propojené a připravené k podpisu. Dál se "
                      "nemusíte o nic starat."}));
    EXPECT_EQ(banner(oneFailed, false), std::nullopt);
}

TEST(BrowserPresentation, AdvancedSectionOnlyWhileSomethingIsNotConnected) {
    const auto connected = outcomes(R::connected(), R::connected(), R::connected());
    EXPECT_FALSE(presentBrowsers(statuses(false, false, false), connected, false).advanced);

    const auto mixed = outcomes(R::failed("create directory /x: Permission denied"),
                                R::manualOverridePreserved(), R::connected());
    const auto advanced = presentBrowsers(statuses(false, true, true), mixed, false).advanced;
    ASSERT_TRUE(advanced);
    EXPECT_EQ(*advanced,
              (AdvancedSection{
                  "Pokročilé",
                  "Propojit s prohlížeči",
                  {"Google Chrome: /c.json", "Microsoft Edge: /e.json", "Mozilla Firefox: /f.json"},
                  {"Chyba (Google Chrome): create directory /x: Permission denied"}}));
}

// The rows a home gives, from its folders to the texts the window and the
// preview show: the three main browsers always, a confined or Flatpak
// browser only where its folder exists.
TEST(BrowserPresentation, EachKindOfHomeGivesItsRows) {
    namespace fs = std::filesystem;
    const std::vector<std::string> ids = {"jigokomhlkbkpcgkinakfomodbijdcpi"};
    const std::string grant =
        "flatpak override --user --talk-name=org.freedesktop.Flatpak org.chromium.Chromium";
    const std::string portal =
        "Tento Firefox spouští Tavrin Bridge přes systém: při prvním podpisu se vás jednou zeptá, "
        "zda to smí udělat.";
    const std::string leave =
        "Prohlížeč tím smí spouštět jakékoli programy mimo svůj sandbox, nejen Tavrin Bridge.";
    struct Row {
        B browser;
        S state;
        std::string text;
        std::string note;
        std::vector<std::string> commands = {};
    };
    using Setup = std::function<void(const NativeMessagingManifestInstaller&, const fs::path&)>;
    const auto mainThree = [](const NativeMessagingManifestInstaller& installer) {
        for (B browser : automaticallyConnected)
            ASSERT_TRUE(installer.install(browser, builtInExtensionIDs(browser)));
    };
    const struct {
        const char* home;
        Setup setup;
        std::vector<Row> added;  // after chrome, edge and firefox
        bool done;               // the "Hotovo" banner
    } cases[] = {
        {"none of the added browsers", [](auto&, auto&) {}, {}, false},
        {"snap Firefox, Firefox's manifest",
         [&](auto& installer, auto& home) {
             mainThree(installer);
             fs::create_directories(home / "snap/firefox");
         },
         {{B::firefoxSnap, S::connected, "Propojeno", portal}},
         true},
        {"Flatpak Firefox, only the package's manifest",
         [&](auto&, auto& home) {
             testing::write_file(home / "system/cz.tavrin.bridge.json", "{}");
             fs::create_directories(home / ".var/app/org.mozilla.firefox");
         },
         {{B::firefoxFlatpak, S::connected, "Propojeno", portal}},
         false},
        {"snap Chromium",
         [&](auto& installer, auto& home) {
             mainThree(installer);
             fs::create_directories(home / "snap/chromium");
         },
         {{B::chromiumSnap, S::cannotConnect, "Nelze propojit",
           "Chromium ze Snap Store nemůže spustit žádný program mimo svůj sandbox, a tak ani "
           "Tavrin Bridge. Podepisujte v Chromiu z balíčků vaší distribuce nebo v Google "
           "Chrome."}},
         false},
        {"Flatpak Chromium without its manifest",
         [&](auto&, auto& home) {
             fs::create_directories(home / ".var/app/org.chromium.Chromium");
         },
         {{B::chromiumFlatpak,
           S::notConnected,
           "Nepropojeno",
           "Propojte ho a povolte mu spouštět Tavrin Bridge příkazy níže. " + leave,
           {"tavrin-bridge install-native-messaging-host --browser chromium-flatpak", grant}}},
         false},
        {"Flatpak Chromium with its manifest",
         [&](auto& installer, auto&) {
             mainThree(installer);
             ASSERT_TRUE(installer.install(B::chromiumFlatpak, ids));
         },
         {{B::chromiumFlatpak,
           S::needsSandboxPermission,
           "Čeká na povolení",
           "Tavrin Bridge spustí, až mu to povolíte příkazem níže. " + leave,
           {grant}}},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.home);
        const testing::TempDir home;
        const NativeMessagingManifestInstaller installer(
            {home.path(), home.configHome(), {home.path() / "system"}}, "/usr/bin/tavrin-bridge");
        c.setup(installer, home.path());
        const auto statuses = BrowserManifestStatus::all(installer);
        const auto shown = presentBrowsers(statuses, {}, false);

        ASSERT_EQ(shown.rows.size(), 3 + c.added.size());
        for (std::size_t i = 0; i < c.added.size(); ++i) {
            const BrowserRow& row = shown.rows[3 + i];
            const Row& want = c.added[i];
            EXPECT_EQ(row.browser, want.browser);
            EXPECT_EQ(row.state, want.state);
            EXPECT_EQ(row.statusText, want.text);
            EXPECT_EQ(row.note, want.note);
            EXPECT_EQ(row.commands, want.commands);
        }
        const Banner done{"checkmark.circle.fill", ColourRole::green,
                          "Hotovo — všechny prohlížeče jsou propojené a připravené k podpisu. Dál "
                          "se nemusíte o nic starat."};
        EXPECT_EQ(shown.banner == done, c.done);
        // A browser without a manifest has no path line.
        if (shown.advanced) {
            for (const std::string& line : shown.advanced->pathLines)
                EXPECT_NE(line.rfind("Chromium (snap)", 0), 0u) << line;
        }
    }
}

}  // namespace
}  // namespace tavrin::host
