#pragma once
// Whether each browser shown in the window has the manifest it needs.

#include <string>
#include <string_view>
#include <vector>

#include "browser/manifest_installer.h"
#include "browser/native_messaging_browser.h"

namespace tavrin::host {

struct BrowserManifestStatus {
    NativeMessagingBrowser browser;
    // Something exists at the manifest path; for a confined Firefox, at the
    // user's or at a system-wide Firefox manifest path.
    bool installed = false;
    std::string manifestPath;  // the one found, else the user's; empty: the browser has none

    std::string_view id() const { return rawValue(browser); }
    bool operator==(const BrowserManifestStatus&) const = default;

    // For BrowserConnector::browsersToConnect(), then the snaps and Flatpaks
    // whose profile folder exists, in the order of allNativeMessagingBrowsers,
    // in the user's own folders.
    static std::vector<BrowserManifestStatus> all();
    static std::vector<BrowserManifestStatus> all(
        const NativeMessagingManifestInstaller& installer);
};

}  // namespace tavrin::host
