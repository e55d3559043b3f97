#include "browser/native_messaging_browser.h"

#include "browser/identifiers.h"

namespace tavrin::host {

namespace {

struct BrowserInfo {
    NativeMessagingBrowser browser;
    std::string_view raw;
    std::string_view display;
    BrowserFamily family;
    ManifestFolder folder;
};

using B = NativeMessagingBrowser;
using F = BrowserFamily;
constexpr ManifestBase config = ManifestBase::configHome;

// Indexed by the enumeration's value.
constexpr std::array<BrowserInfo, 14> browserTable = {{
    {B::chrome,
     "chrome",
     "Google Chrome",
     F::chrome,
     {config, "google-chrome/NativeMessagingHosts"}},
    {B::edge, "edge", "Microsoft Edge", F::edge, {config, "microsoft-edge/NativeMessagingHosts"}},
    {B::firefox,
     "firefox",
     "Mozilla Firefox",
     F::firefox,
     {ManifestBase::home, ".mozilla/native-messaging-hosts"}},
    {B::chromeBeta,
     "chrome-beta",
     "Google Chrome Beta",
     F::chrome,
     {config, "google-chrome-beta/NativeMessagingHosts"}},
    {B::chromeDev,
     "chrome-dev",
     "Google Chrome Dev",
     F::chrome,
     {config, "google-chrome-unstable/NativeMessagingHosts"}},
    {B::chromeCanary,
     "chrome-canary",
     "Google Chrome Canary",
     F::chrome,
     {config, "google-chrome-canary/NativeMessagingHosts"}},
    {B::edgeBeta,
     "edge-beta",
     "Microsoft Edge Beta",
     F::edge,
     {config, "microsoft-edge-beta/NativeMessagingHosts"}},
    {B::edgeDev,
     "edge-dev",
     "Microsoft Edge Dev",
     F::edge,
     {config, "microsoft-edge-dev/NativeMessagingHosts"}},
    {B::edgeCanary,
     "edge-canary",
     "Microsoft Edge Canary",
     F::edge,
     {config, "microsoft-edge-canary/NativeMessagingHosts"}},
    // The Chromium-based browsers below take the Chrome store's extension.
    {B::chromium, "chromium", "Chromium", F::chrome, {config, "chromium/NativeMessagingHosts"}},
    {B::brave,
     "brave",
     "Brave",
     F::chrome,
     {config, "BraveSoftware/Brave-Browser/NativeMessagingHosts"}},
    {B::vivaldi, "vivaldi", "Vivaldi", F::chrome, {config, "vivaldi/NativeMessagingHosts"}},
    // Snap packages keep their profiles below ~/snap/<name>/common.
    {B::chromiumSnap,
     "chromium-snap",
     "Chromium (snap)",
     F::chrome,
     {ManifestBase::home, "snap/chromium/common/chromium/NativeMessagingHosts"}},
    {B::firefoxSnap,
     "firefox-snap",
     "Mozilla Firefox (snap)",
     F::firefox,
     {ManifestBase::home, "snap/firefox/common/.mozilla/native-messaging-hosts"}},
}};

constexpr bool tableMatchesEnumeration() {
    for (std::size_t i = 0; i < browserTable.size(); ++i) {
        if (static_cast<std::size_t>(browserTable[i].browser) != i) return false;
        if (allNativeMessagingBrowsers[i] != browserTable[i].browser) return false;
    }
    return true;
}
static_assert(tableMatchesEnumeration());

const BrowserInfo& info(NativeMessagingBrowser browser) {
    return browserTable[static_cast<std::size_t>(browser)];
}

}  // namespace

std::string_view rawValue(NativeMessagingBrowser browser) {
    return info(browser).raw;
}

std::optional<NativeMessagingBrowser> browserFromRawValue(std::string_view raw) {
    for (const BrowserInfo& entry : browserTable) {
        if (entry.raw == raw) return entry.browser;
    }
    return std::nullopt;
}

std::string_view displayName(NativeMessagingBrowser browser) {
    return info(browser).display;
}

BrowserFamily family(NativeMessagingBrowser browser) {
    return info(browser).family;
}

bool isChromium(NativeMessagingBrowser browser) {
    return family(browser) != BrowserFamily::firefox;
}

ManifestFolder manifestFolder(NativeMessagingBrowser browser) {
    return info(browser).folder;
}

std::vector<std::string> builtInExtensionIDs(NativeMessagingBrowser browser) {
    switch (family(browser)) {
        case BrowserFamily::chrome:
            return {ChromeExtensionIDs.begin(), ChromeExtensionIDs.end()};
        case BrowserFamily::edge:
            return {EdgeExtensionIDs.begin(), EdgeExtensionIDs.end()};
        case BrowserFamily::firefox:
            break;
    }
    return {};
}

}  // namespace tavrin::host
