#pragma once
// Whether each automatically connected browser has a manifest, for the window.

#include <string>
#include <string_view>
#include <vector>

#include "browser/manifest_installer.h"
#include "browser/native_messaging_browser.h"

namespace tavrin::host {

struct BrowserManifestStatus {
    NativeMessagingBrowser browser;
    bool installed = false;  // something exists at the manifest path
    std::string manifestPath;

    std::string_view id() const { return rawValue(browser); }
    bool operator==(const BrowserManifestStatus&) const = default;

    // For BrowserConnector::browsersToConnect(), in that order, in the user's
    // own folders.
    static std::vector<BrowserManifestStatus> all();
    static std::vector<BrowserManifestStatus> all(
        const NativeMessagingManifestInstaller& installer);
};

}  // namespace tavrin::host
