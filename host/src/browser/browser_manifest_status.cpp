#include "browser/browser_manifest_status.h"

#include "browser/browser_connector.h"
#include "platform/file_ops.h"

namespace tavrin::host {

std::vector<BrowserManifestStatus> BrowserManifestStatus::all() {
    // Only the folders matter here; the executable path is never read.
    return all(NativeMessagingManifestInstaller::withDefaultFolders({}));
}

std::vector<BrowserManifestStatus> BrowserManifestStatus::all(
    const NativeMessagingManifestInstaller& installer) {
    std::vector<BrowserManifestStatus> statuses;
    for (NativeMessagingBrowser browser : BrowserConnector::browsersToConnect(installer)) {
        const std::filesystem::path path = installer.manifestURL(browser);
        statuses.push_back({browser, path.is_absolute() && fileExists(path), path.string()});
    }
    return statuses;
}

}  // namespace tavrin::host
