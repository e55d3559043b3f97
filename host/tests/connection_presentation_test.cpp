// Row states, banners and the advanced section of the browser view.

#include "browser/connection_presentation.h"

#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
}  // namespace tavrin::host
