#pragma once
// Connects the main browsers without asking: writes their manifests with the
// built-in extension IDs unless someone customised a manifest, or the program
// runs from a translocated copy.

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "browser/manifest_installer.h"
#include "browser/native_messaging_browser.h"

namespace tavrin::host {

struct BrowserConnectOutcome {
    // What one connection attempt did for one browser.
    class Result {
      public:
        enum class Kind {
            failed,                      // writing the manifest failed; see message()
            connected,                   // the manifest was (re)written
            needsOwnExtensionID,         // no built-in extension ID to write
            manualOverridePreserved,     // a manifest allowing a foreign ID was left as it is
            appNotInApplicationsFolder,  // translocated: nothing was written
        };

        static Result failed(std::string message) {
            return Result(Kind::failed, std::move(message));
        }
        static Result connected() { return Result(Kind::connected); }
        static Result needsOwnExtensionID() { return Result(Kind::needsOwnExtensionID); }
        static Result manualOverridePreserved() { return Result(Kind::manualOverridePreserved); }
        static Result appNotInApplicationsFolder() {
            return Result(Kind::appNotInApplicationsFolder);
        }

        Kind kind() const { return kind_; }
        // The failure's description; empty unless kind() is failed.
        const std::string& message() const { return message_; }

        bool operator==(const Result&) const = default;

      private:
        explicit Result(Kind kind, std::string message = {})
            : kind_(kind), message_(std::move(message)) {}

        Kind kind_;
        std::string message_;
    };

    NativeMessagingBrowser browser;
    Result result;

    bool operator==(const BrowserConnectOutcome&) const = default;
};

class BrowserConnector {
  public:
    using TranslocationTest = std::function<bool(std::string_view executablePath)>;

    BrowserConnector() = delete;

    // automaticallyConnected, then each browser of connectedWhenInstalled
    // whose profile folder exists in the installer's folders, in that order.
    static std::vector<NativeMessagingBrowser> browsersToConnect(
        const NativeMessagingManifestInstaller& installer);

    // One outcome per browser of browsersToConnect(), in that order. The
    // test is applied to the installer's executablePath. Never fails: every
    // error becomes a failed outcome and the other browsers still run.
    static std::vector<BrowserConnectOutcome> connectAll(
        const NativeMessagingManifestInstaller& installer,
        const TranslocationTest& isRunningTranslocated);
    // With AppTranslocationDetector::isTranslocated.
    static std::vector<BrowserConnectOutcome> connectAll(
        const NativeMessagingManifestInstaller& installer);

    // The built-in extension IDs of the browser's family, as a set.
    static std::set<std::string> recognizedExtensionIDs(NativeMessagingBrowser browser);
};

}  // namespace tavrin::host
