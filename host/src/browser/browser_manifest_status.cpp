#include "browser/browser_manifest_status.h"

#include "browser/browser_connector.h"
#include "browser/identifiers.h"
#include "platform/file_ops.h"

namespace tavrin::host {

namespace {

BrowserManifestStatus statusOf(const NativeMessagingManifestInstaller& installer,
                               NativeMessagingBrowser browser) {
    const std::filesystem::path path = installer.manifestURL(browser);
    if (!path.is_absolute()) return {browser, false, path.string()};
    if (fileExists(path)) return {browser, true, path.string()};
    // The desktop starts a confined Firefox's host from the package's
    // manifest as well.
    if (connection(browser) == BrowserConnection::desktopPortal) {
        for (const std::filesystem::path& folder : installer.folders().systemFirefoxManifests) {
            const std::filesystem::path system = folder / (std::string(NativeHostName) + ".json");
            if (fileExists(system)) return {browser, true, system.string()};
        }
    }
    return {browser, false, path.string()};
}

}  // namespace

std::vector<BrowserManifestStatus> BrowserManifestStatus::all() {
    // Only the folders matter here; the executable path is never read.
    return all(NativeMessagingManifestInstaller::withDefaultFolders({}));
}

std::vector<BrowserManifestStatus> BrowserManifestStatus::all(
    const NativeMessagingManifestInstaller& installer) {
    std::vector<BrowserManifestStatus> statuses;
    for (NativeMessagingBrowser browser : BrowserConnector::browsersToConnect(installer))
        statuses.push_back(statusOf(installer, browser));
    for (std::size_t i = mainBrowserCount; i < allNativeMessagingBrowsers.size(); ++i) {
        const NativeMessagingBrowser browser = allNativeMessagingBrowsers[i];
        if (connection(browser) != BrowserConnection::direct && installer.hasProfileFolder(browser))
            statuses.push_back(statusOf(installer, browser));
    }
    return statuses;
}

}  // namespace tavrin::host
