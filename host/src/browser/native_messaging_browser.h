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

// Every browser, in the order used wherever all of them are iterated.
inline constexpr std::array<NativeMessagingBrowser, 14> allNativeMessagingBrowsers = {
    NativeMessagingBrowser::chrome,       NativeMessagingBrowser::edge,
    NativeMessagingBrowser::firefox,      NativeMessagingBrowser::chromeBeta,
    NativeMessagingBrowser::chromeDev,    NativeMessagingBrowser::chromeCanary,
    NativeMessagingBrowser::edgeBeta,     NativeMessagingBrowser::edgeDev,
    NativeMessagingBrowser::edgeCanary,   NativeMessagingBrowser::chromium,
    NativeMessagingBrowser::brave,        NativeMessagingBrowser::vivaldi,
    NativeMessagingBrowser::chromiumSnap, NativeMessagingBrowser::firefoxSnap,
};

// The browsers always connected automatically and shown in the window; the
// channel builds are reached only through the command line.
inline constexpr std::array<NativeMessagingBrowser, 3> automaticallyConnected = {
    NativeMessagingBrowser::chrome, NativeMessagingBrowser::edge, NativeMessagingBrowser::firefox};

// Connected automatically and shown in the window only where the user has the
// browser (see NativeMessagingManifestInstaller::hasProfileFolder): a manifest
// folder is never created for a browser that is not there.
inline constexpr std::array<NativeMessagingBrowser, 5> connectedWhenInstalled = {
    NativeMessagingBrowser::chromium, NativeMessagingBrowser::brave,
    NativeMessagingBrowser::vivaldi, NativeMessagingBrowser::chromiumSnap,
    NativeMessagingBrowser::firefoxSnap};

// The command-line name, e.g. "chrome-beta".
std::string_view rawValue(NativeMessagingBrowser browser);
// Exact, case-sensitive; any other text names no browser.
std::optional<NativeMessagingBrowser> browserFromRawValue(std::string_view raw);
// The name shown in the window, e.g. "Google Chrome Beta".
std::string_view displayName(NativeMessagingBrowser browser);
BrowserFamily family(NativeMessagingBrowser browser);
bool isChromium(NativeMessagingBrowser browser);

// Where a browser looks for user-level manifests on Linux: a subfolder of the
// user's config home ($XDG_CONFIG_HOME or ~/.config) or of the home folder.
enum class ManifestBase { configHome, home };
struct ManifestFolder {
    ManifestBase base;
    std::string_view subpath;  // relative, '/'-separated
};
ManifestFolder manifestFolder(NativeMessagingBrowser browser);

// The project's own extension IDs for the browser's family, in table order
// (empty for Firefox, whose manifest always carries the built-in add-on ID).
std::vector<std::string> builtInExtensionIDs(NativeMessagingBrowser browser);

}  // namespace tavrin::host
