#include "browser/native_messaging_browser.h"

#include "browser/identifiers.h"

namespace tavrin::host {

namespace {

struct BrowserInfo {
    NativeMessagingBrowser browser;
    std::string_view raw;
    std::string_view display;
    BrowserFamily family;
    BrowserConnection connection;
    ManifestFolder manifests;
    ManifestFolder profile;
    std::string_view flatpakID;
};

using B = NativeMessagingBrowser;
using F = BrowserFamily;
using C = BrowserConnection;
constexpr ManifestBase config = ManifestBase::configHome;
constexpr ManifestBase home = ManifestBase::home;
// What Firefox reads, confined or not: a confined one through the desktop.
constexpr ManifestFolder firefoxManifests{home, ".mozilla/native-messaging-hosts"};

// Indexed by the enumeration's value. A Flatpak keeps its configuration in
// ~/.var/app/<app ID>/config (its XDG_CONFIG_HOME inside the sandbox), below
// which each browser uses the folder it uses outside.
constexpr std::array<BrowserInfo, 20> browserTable = {{
    {B::chrome,
     "chrome",
     "Google Chrome",
     F::chrome,
     C::direct,
     {config, "google-chrome/NativeMessagingHosts"},
     {config, "google-chrome"},
     {}},
    {B::edge,
     "edge",
     "Microsoft Edge",
     F::edge,
     C::direct,
     {config, "microsoft-edge/NativeMessagingHosts"},
     {config, "microsoft-edge"},
     {}},
    {B::firefox,
     "firefox",
     "Mozilla Firefox",
     F::firefox,
     C::direct,
     firefoxManifests,
     {home, ".mozilla"},
     {}},
    {B::chromeBeta,
     "chrome-beta",
     "Google Chrome Beta",
     F::chrome,
     C::direct,
     {config, "google-chrome-beta/NativeMessagingHosts"},
     {config, "google-chrome-beta"},
     {}},
    {B::chromeDev,
     "chrome-dev",
     "Google Chrome Dev",
     F::chrome,
     C::direct,
     {config, "google-chrome-unstable/NativeMessagingHosts"},
     {config, "google-chrome-unstable"},
     {}},
    {B::chromeCanary,
     "chrome-canary",
     "Google Chrome Canary",
     F::chrome,
     C::direct,
     {config, "google-chrome-canary/NativeMessagingHosts"},
     {config, "google-chrome-canary"},
     {}},
    {B::edgeBeta,
     "edge-beta",
     "Microsoft Edge Beta",
     F::edge,
     C::direct,
     {config, "microsoft-edge-beta/NativeMessagingHosts"},
     {config, "microsoft-edge-beta"},
     {}},
    {B::edgeDev,
     "edge-dev",
     "Microsoft Edge Dev",
     F::edge,
     C::direct,
     {config, "microsoft-edge-dev/NativeMessagingHosts"},
     {config, "microsoft-edge-dev"},
     {}},
    {B::edgeCanary,
     "edge-canary",
     "Microsoft Edge Canary",
     F::edge,
     C::direct,
     {config, "microsoft-edge-canary/NativeMessagingHosts"},
     {config, "microsoft-edge-canary"},
     {}},
    // The Chromium-based browsers below take the Chrome store's extension.
    {B::chromium,
     "chromium",
     "Chromium",
     F::chrome,
     C::direct,
     {config, "chromium/NativeMessagingHosts"},
     {config, "chromium"},
     {}},
    {B::brave,
     "brave",
     "Brave",
     F::chrome,
     C::direct,
     {config, "BraveSoftware/Brave-Browser/NativeMessagingHosts"},
     {config, "BraveSoftware/Brave-Browser"},
     {}},
    {B::vivaldi,
     "vivaldi",
     "Vivaldi",
     F::chrome,
     C::direct,
     {config, "vivaldi/NativeMessagingHosts"},
     {config, "vivaldi"},
     {}},
    {B::chromiumSnap,
     "chromium-snap",
     "Chromium (snap)",
     F::chrome,
     C::none,
     {home, {}},
     {home, "snap/chromium"},
     {}},
    {B::firefoxSnap,
     "firefox-snap",
     "Mozilla Firefox (snap)",
     F::firefox,
     C::desktopPortal,
     firefoxManifests,
     {home, "snap/firefox"},
     {}},
    {B::chromiumFlatpak,
     "chromium-flatpak",
     "Chromium (Flatpak)",
     F::chrome,
     C::flatpakWrapper,
     {home, ".var/app/org.chromium.Chromium/config/chromium/NativeMessagingHosts"},
     {home, ".var/app/org.chromium.Chromium"},
     "org.chromium.Chromium"},
    {B::chromeFlatpak,
     "chrome-flatpak",
     "Google Chrome (Flatpak)",
     F::chrome,
     C::flatpakWrapper,
     {home, ".var/app/com.google.Chrome/config/google-chrome/NativeMessagingHosts"},
     {home, ".var/app/com.google.Chrome"},
     "com.google.Chrome"},
    {B::braveFlatpak,
     "brave-flatpak",
     "Brave (Flatpak)",
     F::chrome,
     C::flatpakWrapper,
     {home, ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser/NativeMessagingHosts"},
     {home, ".var/app/com.brave.Browser"},
     "com.brave.Browser"},
    {B::edgeFlatpak,
     "edge-flatpak",
     "Microsoft Edge (Flatpak)",
     F::edge,
     C::flatpakWrapper,
     {home, ".var/app/com.microsoft.Edge/config/microsoft-edge/NativeMessagingHosts"},
     {home, ".var/app/com.microsoft.Edge"},
     "com.microsoft.Edge"},
    {B::vivaldiFlatpak,
     "vivaldi-flatpak",
     "Vivaldi (Flatpak)",
     F::chrome,
     C::flatpakWrapper,
     {home, ".var/app/com.vivaldi.Vivaldi/config/vivaldi/NativeMessagingHosts"},
     {home, ".var/app/com.vivaldi.Vivaldi"},
     "com.vivaldi.Vivaldi"},
    // Current Flatpak Firefox leaves its sandbox through the desktop, as the
    // snap does.
    {B::firefoxFlatpak,
     "firefox-flatpak",
     "Mozilla Firefox (Flatpak)",
     F::firefox,
     C::desktopPortal,
     firefoxManifests,
     {home, ".var/app/org.mozilla.firefox"},
     "org.mozilla.firefox"},
}};

constexpr bool tableMatchesEnumeration() {
    for (std::size_t i = 0; i < browserTable.size(); ++i) {
        if (static_cast<std::size_t>(browserTable[i].browser) != i) return false;
        if (allNativeMessagingBrowsers[i] != browserTable[i].browser) return false;
        // Only a browser that can connect has a manifest folder.
        if (browserTable[i].manifests.subpath.empty() !=
            (browserTable[i].connection == BrowserConnection::none))
            return false;
        // A wrapper needs the Flatpak application it grants leave to.
        if (browserTable[i].connection == BrowserConnection::flatpakWrapper &&
            browserTable[i].flatpakID.empty())
            return false;
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

BrowserConnection connection(NativeMessagingBrowser browser) {
    return info(browser).connection;
}

std::string_view flatpakAppID(NativeMessagingBrowser browser) {
    return info(browser).flatpakID;
}

ManifestFolder manifestFolder(NativeMessagingBrowser browser) {
    return info(browser).manifests;
}

ManifestFolder profileFolder(NativeMessagingBrowser browser) {
    return info(browser).profile;
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
