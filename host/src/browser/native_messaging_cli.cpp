#include "browser/native_messaging_cli.h"

#include <algorithm>
#include <iostream>
#include <string_view>
#include <utility>

namespace tavrin::host {

namespace {

constexpr std::string_view installCommand = "install-native-messaging-host";
constexpr std::string_view uninstallCommand = "uninstall-native-messaging-host";
constexpr std::string_view diagnosticPrefix = "tavrin-bridge: ";

// Built-in IDs first, then the extra ones not already present.
std::vector<std::string> idsToInstall(NativeMessagingBrowser browser,
                                      const std::vector<std::string>& extra) {
    std::vector<std::string> ids = builtInExtensionIDs(browser);
    for (const std::string& id : extra) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
    return ids;
}

}  // namespace

NativeMessagingCLIError NativeMessagingCLIError::missingValue(std::string flag) {
    return {Kind::missingValue, std::move(flag)};
}

NativeMessagingCLIError NativeMessagingCLIError::unknownBrowser(std::string value) {
    return {Kind::unknownBrowser, std::move(value)};
}

std::string NativeMessagingCLIError::description() const {
    if (kind_ == Kind::missingValue) return payload_ + " requires a value";
    std::string text = "unknown --browser value '" + payload_ + "' (expected one of: all";
    for (NativeMessagingBrowser browser : allNativeMessagingBrowsers) {
        text += ", ";
        text += rawValue(browser);
    }
    return text + ")";
}

Result<std::optional<NativeMessagingBrowser>, NativeMessagingCLIError>
NativeMessagingCLI::parseBrowser(std::span<const std::string> arguments) {
    const auto flag = std::find(arguments.begin(), arguments.end(), "--browser");
    if (flag == arguments.end()) return std::optional<NativeMessagingBrowser>{};
    if (flag + 1 == arguments.end()) return NativeMessagingCLIError::missingValue("--browser");
    const std::string& value = *(flag + 1);
    if (value == "all") return std::optional<NativeMessagingBrowser>{};
    if (std::optional<NativeMessagingBrowser> browser = browserFromRawValue(value)) return browser;
    return NativeMessagingCLIError::unknownBrowser(value);
}

std::vector<NativeMessagingBrowser> NativeMessagingCLI::defaultBrowsers(
    const NativeMessagingManifestInstaller& installer) {
    std::vector<NativeMessagingBrowser> browsers;
    for (std::size_t i = 0; i < allNativeMessagingBrowsers.size(); ++i) {
        const NativeMessagingBrowser browser = allNativeMessagingBrowsers[i];
        // No folder is made for a browser that is not there.
        if (i < mainBrowserCount ||
            (connection(browser) != BrowserConnection::none && installer.hasProfileFolder(browser)))
            browsers.push_back(browser);
    }
    return browsers;
}

std::vector<std::string> NativeMessagingCLI::parseExtensionIDs(
    std::span<const std::string> arguments) {
    std::vector<std::string> ids;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "--extension-id") ids.push_back(arguments[++i]);
    }
    return ids;
}

std::optional<std::int32_t> NativeMessagingCLI::run(
    std::span<const std::string> arguments, const NativeMessagingManifestInstaller& installer,
    std::ostream& out, std::ostream& err) {
    if (arguments.size() < 2) return std::nullopt;
    const bool installing = arguments[1] == installCommand;
    if (!installing && arguments[1] != uninstallCommand) return std::nullopt;

    Result<std::optional<NativeMessagingBrowser>, NativeMessagingCLIError> named =
        parseBrowser(arguments);
    if (!named) {
        err << diagnosticPrefix << named.error().description() << '\n' << std::flush;
        return 1;
    }
    const std::vector<NativeMessagingBrowser> browsers =
        named.value() ? std::vector<NativeMessagingBrowser>{*named.value()}
                      : defaultBrowsers(installer);
    const std::vector<std::string> extraIDs = parseExtensionIDs(arguments);

    bool anyFailed = false;
    for (NativeMessagingBrowser browser : browsers) {
        const std::string_view name = rawValue(browser);
        if (installing) {
            const std::vector<std::string> ids = idsToInstall(browser, extraIDs);
            if (auto installed = installer.install(browser, ids); !installed) {
                err << diagnosticPrefix << name << ": " << installed.error().description() << '\n';
                anyFailed = true;
                continue;
            }
            out << "Installed " << name << " native messaging host manifest at "
                << installer.manifestURL(browser).string();
            if (connection(browser) == BrowserConnection::flatpakWrapper) {
                out << "; let the browser start it outside its sandbox with: flatpak override "
                       "--user --talk-name=org.freedesktop.Flatpak "
                    << flatpakAppID(browser);
            }
            out << '\n';
        } else {
            if (auto removed = installer.uninstall(browser); !removed) {
                err << diagnosticPrefix << name << ": " << removed.error().description() << '\n';
                anyFailed = true;
                continue;
            }
            out << "Uninstalled " << name << " native messaging host manifest (if present)\n";
        }
    }
    out << std::flush;
    err << std::flush;
    return anyFailed ? 1 : 0;
}

std::optional<std::int32_t> NativeMessagingCLI::run(
    std::span<const std::string> arguments, const NativeMessagingManifestInstaller& installer) {
    return run(arguments, installer, std::cout, std::cerr);
}

}  // namespace tavrin::host
