// Each browser of the registry, as far as a host started by it would work.

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <system_error>

#include "browser/identifiers.h"
#include "browser/native_messaging_browser.h"
#include "diagnose/diagnostic_checks.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

// The folder a browser's Linux package reads system-wide manifests from, if
// it has one (the Debian package of this program installs them there).
std::optional<fs::path> systemManifestFolder(NativeMessagingBrowser browser) {
    switch (browser) {
        case NativeMessagingBrowser::chrome:
            return fs::path("/etc/opt/chrome/native-messaging-hosts");
        case NativeMessagingBrowser::edge:
            return fs::path("/etc/opt/edge/native-messaging-hosts");
        case NativeMessagingBrowser::firefox:
        case NativeMessagingBrowser::firefoxSnap:
        case NativeMessagingBrowser::firefoxFlatpak:
            return fs::path("/usr/lib/mozilla/native-messaging-hosts");
        case NativeMessagingBrowser::chromium:
        case NativeMessagingBrowser::brave:
        case NativeMessagingBrowser::vivaldi:
            return fs::path("/etc/chromium/native-messaging-hosts");
        default:
            return std::nullopt;
    }
}

// What is wrong with a manifest for this executable, or empty.
struct ManifestVerdict {
    std::string problem;
    bool stale = false;  // it starts a program that is not there
    std::string program;
};

ManifestVerdict judgeManifest(const fs::path& path, NativeMessagingBrowser browser,
                              const fs::path& self) {
    std::ifstream in(path);
    if (!in) return {"it cannot be read", false, ""};
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const json manifest = json::parse(text, nullptr, false);
    if (!manifest.is_object()) return {"it is not valid JSON", false, ""};
    if (manifest.value("name", std::string()) != NativeHostName)
        return {"its \"name\" is not " + std::string(NativeHostName), false, ""};
    if (manifest.value("type", std::string()) != "stdio")
        return {"its \"type\" is not \"stdio\"", false, ""};
    const std::string program = manifest.value("path", std::string());
    std::error_code error;
    const fs::path real = fs::canonical(program, error);
    if (program.empty() || error)
        return {"it starts " + (program.empty() ? std::string("no program") : program) +
                    ", which does not exist",
                true, program};
    if (real != self) return {"it starts " + program + ", not this program", false, program};

    const bool firefox = family(browser) == BrowserFamily::firefox;
    const json allowed = manifest.value(firefox ? "allowed_extensions" : "allowed_origins", json());
    std::vector<std::string> wanted;
    if (firefox) {
        wanted.emplace_back(FirefoxAddonID);
    } else {
        for (const std::string& id : builtInExtensionIDs(browser))
            wanted.push_back("chrome-extension://" + id + "/");
    }
    for (const std::string& entry : wanted) {
        bool listed = false;
        if (allowed.is_array())
            for (const json& value : allowed)
                listed |= value.is_string() && value == entry;
        if (!listed) return {"it does not allow the built-in extension " + entry, false, program};
    }
    return {"", false, program};
}

}  // namespace

DiagnosticSection diagnoseBrowsers(const NativeMessagingManifestInstaller& installer) {
    DiagnosticSection section{"browsers", "Browsers", {}};
    std::error_code error;
    const fs::path self = fs::canonical("/proc/self/exe", error);
    for (const NativeMessagingBrowser browser : allNativeMessagingBrowsers) {
        const std::string id(rawValue(browser));
        DiagnosticItem item{std::string(displayName(browser)) + " (" + id + ")"};
        const bool present = installer.hasProfileFolder(browser);
        item.fact("present", present);
        const std::string install =
            "Run: tavrin-bridge install-native-messaging-host --browser " + id;

        bool connected = false;
        const fs::path user = installer.manifestURL(browser);
        // A browser that cannot start a host has no manifest of its own.
        if (!user.empty()) item.fact("userManifest", user.string());
        std::error_code ignored;
        if (!user.empty() && fs::exists(user, ignored)) {
            const ManifestVerdict verdict = judgeManifest(user, browser, self);
            item.fact("userManifestValid", verdict.problem.empty());
            if (verdict.problem.empty()) {
                connected = true;
            } else if (verdict.stale) {
                item.problem("the manifest " + user.string() + " is stale: " + verdict.problem,
                             install + " (or remove the stale manifest " + user.string() + ").");
                connected = true;  // said once
            } else {
                item.problem("the manifest " + user.string() + " does not fit: " + verdict.problem,
                             install + ".");
                connected = true;
            }
        }
        if (const auto folder = systemManifestFolder(browser)) {
            const fs::path system = *folder / (std::string(NativeHostName) + ".json");
            item.fact("systemManifest", system.string());
            if (fs::exists(system, ignored)) {
                const ManifestVerdict verdict = judgeManifest(system, browser, self);
                item.fact("systemManifestValid", verdict.problem.empty());
                if (verdict.problem.empty()) {
                    connected = true;
                } else if (verdict.stale) {
                    item.problem("the system-wide manifest " + system.string() +
                                     " is stale: " + verdict.problem,
                                 "Reinstall or remove the tavrin-bridge package that left it.");
                } else if (!verdict.program.empty()) {
                    item.note("the system-wide manifest starts " + verdict.program);
                    connected = true;
                } else {
                    item.problem("the system-wide manifest " + system.string() +
                                     " does not fit: " + verdict.problem,
                                 "Reinstall the tavrin-bridge package.");
                }
            } else {
                item.fact("systemManifestPresent", false);
            }
        }

        if (browser == NativeMessagingBrowser::chromiumSnap && present) {
            item.problem("Chromium from snap cannot start a program outside its sandbox",
                         "Use Chromium from a Debian package, Google Chrome or Firefox for "
                         "signing.");
        } else if (present && !connected) {
            item.problem("this browser is installed but not connected", install + ".");
        }
        item.fact("connected", connected && item.problems.empty());
        section.items.push_back(item);
    }
    return section;
}

}  // namespace tavrin::host
