#pragma once
// The browsers and channels that can start the host, with the facts the
// installer, the command line and the window need about each.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui_interface/browser_id.h"

namespace tavrin::host {

// Chrome and Edge are Chromium browsers ("allowed_origins"); Firefox lists
// add-on IDs ("allowed_extensions").
enum class BrowserFamily { chrome, edge, firefox };

// How a browser reaches the host.
enum class BrowserConnection {
    // It reads the manifest in its own folder and starts the host itself.
    direct,
    // A confined Firefox (snap, Flatpak): the desktop starts the host for it
    // (the WebExtensions portal or xdg-native-messaging-proxy), from the
    // manifest an ordinary Firefox reads, after asking the user once.
    desktopPortal,
    // A Chromium-based Flatpak: it reads the manifest in the app's own
    // folder and starts the host inside its sandbox, so the manifest points
    // to a wrapper that runs the installed executable on the host through
    // flatpak-spawn, which works only once the user lets the app talk to
    // org.freedesktop.Flatpak.
    flatpakWrapper,
    // It cannot start any program outside its sandbox.
    none,
};

// Every browser, in the order used wherever all of them are iterated.
inline constexpr std::array<NativeMessagingBrowser, 20> allNativeMessagingBrowsers = {
    NativeMessagingBrowser::chrome,          NativeMessagingBrowser::edge,
    NativeMessagingBrowser::firefox,         NativeMessagingBrowser::chromeBeta,
    NativeMessagingBrowser::chromeDev,       NativeMessagingBrowser::chromeCanary,
    NativeMessagingBrowser::edgeBeta,        NativeMessagingBrowser::edgeDev,
    NativeMessagingBrowser::edgeCanary,      NativeMessagingBrowser::chromium,
    NativeMessagingBrowser::brave,           NativeMessagingBrowser::vivaldi,
    NativeMessagingBrowser::chromiumSnap,    NativeMessagingBrowser::firefoxSnap,
    NativeMessagingBrowser::chromiumFlatpak, NativeMessagingBrowser::chromeFlatpak,
    NativeMessagingBrowser::braveFlatpak,    NativeMessagingBrowser::edgeFlatpak,
    NativeMessagingBrowser::vivaldiFlatpak,  NativeMessagingBrowser::firefoxFlatpak,
};

// The first nine: the main browsers and their channels, installed by the
// command line whether or not they are there.
inline constexpr std::size_t mainBrowserCount = 9;

// The browsers always connected automatically and shown in the window; the
// channel builds are reached only through the command line.
inline constexpr std::array<NativeMessagingBrowser, 3> automaticallyConnected = {
    NativeMessagingBrowser::chrome, NativeMessagingBrowser::edge, NativeMessagingBrowser::firefox};

// Connected automatically only where the user has the browser (see
// NativeMessagingManifestInstaller::hasProfileFolder): a manifest folder is
// never created for a browser that is not there.
inline constexpr std::array<NativeMessagingBrowser, 3> connectedWhenInstalled = {
    NativeMessagingBrowser::chromium, NativeMessagingBrowser::brave,
    NativeMessagingBrowser::vivaldi};

// The command-line name, e.g. "chrome-beta".
std::string_view rawValue(NativeMessagingBrowser browser);
// Exact, case-sensitive; any other text names no browser.
std::optional<NativeMessagingBrowser> browserFromRawValue(std::string_view raw);
// The name shown in the window, e.g. "Google Chrome Beta".
std::string_view displayName(NativeMessagingBrowser browser);
BrowserFamily family(NativeMessagingBrowser browser);
bool isChromium(NativeMessagingBrowser browser);
BrowserConnection connection(NativeMessagingBrowser browser);
// The Flatpak application ID ("org.chromium.Chromium"); empty for browsers
// that are not Flatpaks.
std::string_view flatpakAppID(NativeMessagingBrowser browser);

// A folder below the user's config home ($XDG_CONFIG_HOME or ~/.config) or
// below the home folder.
enum class ManifestBase { configHome, home };
struct ManifestFolder {
    ManifestBase base;
    std::string_view subpath;  // relative, '/'-separated; empty: none
};
// Where the browser looks for user-level manifests on Linux (for a
// desktopPortal browser: where the desktop looks for it; none for a browser
// that cannot connect).
ManifestFolder manifestFolder(NativeMessagingBrowser browser);
// The folder that exists once the user has run the browser: its profile,
// snap or Flatpak application folder.
ManifestFolder profileFolder(NativeMessagingBrowser browser);

// The project's own extension IDs for the browser's family, in table order
// (empty for Firefox, whose manifest always carries the built-in add-on ID).
std::vector<std::string> builtInExtensionIDs(NativeMessagingBrowser browser);

}  // namespace tavrin::host
