#include "browser/browser_connector.h"

#include <algorithm>
#include <exception>

#include "browser/identifiers.h"
#include "browser/translocation.h"

namespace tavrin::host {

namespace {

using Outcome = BrowserConnectOutcome::Result;

Outcome connectOne(const NativeMessagingManifestInstaller& installer,
                   NativeMessagingBrowser browser) {
    // A manifest naming an extension of someone else's was set up on purpose.
    if (const auto current = installer.currentExtensionIDs(browser)) {
        const std::set<std::string> recognized = BrowserConnector::recognizedExtensionIDs(browser);
        const bool allRecognized =
            std::all_of(current->begin(), current->end(),
                        [&](const std::string& id) { return recognized.contains(id); });
        if (!allRecognized) return Outcome::manualOverridePreserved();
    }
    const std::vector<std::string> ids = builtInExtensionIDs(browser);
    auto installed = installer.install(browser, ids);
    if (installed) return Outcome::connected();
    if (installed.error().kind() == NativeMessagingInstallerError::Kind::noExtensionIDsProvided) {
        return Outcome::needsOwnExtensionID();
    }
    return Outcome::failed(installed.error().description());
}

}  // namespace

std::set<std::string> BrowserConnector::recognizedExtensionIDs(NativeMessagingBrowser browser) {
    if (family(browser) == BrowserFamily::firefox) return {std::string(FirefoxAddonID)};
    const std::vector<std::string> ids = builtInExtensionIDs(browser);
    return {ids.begin(), ids.end()};
}

std::vector<NativeMessagingBrowser> BrowserConnector::browsersToConnect(
    const NativeMessagingManifestInstaller& installer) {
    std::vector<NativeMessagingBrowser> browsers(automaticallyConnected.begin(),
                                                 automaticallyConnected.end());
    for (NativeMessagingBrowser browser : connectedWhenInstalled) {
        if (installer.hasProfileFolder(browser)) browsers.push_back(browser);
    }
    return browsers;
}

std::vector<BrowserConnectOutcome> BrowserConnector::connectAll(
    const NativeMessagingManifestInstaller& installer,
    const TranslocationTest& isRunningTranslocated) {
    std::vector<BrowserConnectOutcome> outcomes;
    const bool translocated =
        isRunningTranslocated && isRunningTranslocated(installer.executablePath());
    for (NativeMessagingBrowser browser : browsersToConnect(installer)) {
        if (translocated) {
            outcomes.push_back({browser, Outcome::appNotInApplicationsFolder()});
            continue;
        }
        try {
            outcomes.push_back({browser, connectOne(installer, browser)});
        } catch (const std::exception& error) {
            // Out of memory and the like: still one outcome per browser.
            outcomes.push_back({browser, Outcome::failed(error.what())});
        }
    }
    return outcomes;
}

std::vector<BrowserConnectOutcome> BrowserConnector::connectAll(
    const NativeMessagingManifestInstaller& installer) {
    return connectAll(installer, AppTranslocationDetector::isTranslocated);
}

}  // namespace tavrin::host
