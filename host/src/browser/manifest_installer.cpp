#include "browser/manifest_installer.h"

#include <cerrno>
#include <exception>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "browser/identifiers.h"
#include "platform/app_paths.h"

namespace tavrin::host {

namespace {

NativeMessagingInstallerError unknownHome(NativeMessagingBrowser browser) {
    return NativeMessagingInstallerError::fileSystem(
        FileError{"locate manifest folder for " + std::string(rawValue(browser)) +
                      ": the home folder is unknown",
                  ENOENT});
}

constexpr std::string_view extensionOriginPrefix = "chrome-extension://";
// Far above any real manifest; keeps a stray huge file from being read whole.
constexpr std::size_t maxManifestBytes = 1 << 20;

const char* allowedListKey(NativeMessagingBrowser browser) {
    return isChromium(browser) ? "allowed_origins" : "allowed_extensions";
}

std::optional<std::vector<std::string>> stringArray(const nlohmann::json& value) {
    if (!value.is_array()) return std::nullopt;
    std::vector<std::string> strings;
    for (const nlohmann::json& element : value) {
        if (!element.is_string()) return std::nullopt;
        strings.push_back(element.get<std::string>());
    }
    return strings;
}

}  // namespace

NativeMessagingInstallerError::NativeMessagingInstallerError(
    Kind kind, std::optional<NativeMessagingBrowser> browser, std::string description)
    : kind_(kind), browser_(browser), description_(std::move(description)) {}

NativeMessagingInstallerError NativeMessagingInstallerError::noExtensionIDsProvided(
    NativeMessagingBrowser browser) {
    return {Kind::noExtensionIDsProvided, browser,
            "no extension IDs provided for " + std::string(rawValue(browser))};
}

NativeMessagingInstallerError NativeMessagingInstallerError::cannotConnect(
    NativeMessagingBrowser browser) {
    return {Kind::cannotConnect, browser,
            std::string(displayName(browser)) +
                " cannot start native messaging hosts outside its sandbox; use Chromium from "
                "the distribution's packages or Google Chrome"};
}

NativeMessagingInstallerError NativeMessagingInstallerError::executablePath(
    std::string description) {
    return {Kind::executablePath, std::nullopt, "resolve executable path: " + description};
}

NativeMessagingInstallerError NativeMessagingInstallerError::serialization(
    std::string description) {
    return {Kind::serialization, std::nullopt, "serialize manifest: " + description};
}

NativeMessagingInstallerError NativeMessagingInstallerError::fileSystem(FileError error) {
    return {Kind::fileSystem, std::nullopt, std::move(error.description)};
}

ProcessLocator ProcessLocator::system() {
    return ProcessLocator{runningExecutablePath, currentWorkingDirectory};
}

NativeMessagingManifestInstaller::NativeMessagingManifestInstaller(InstallerFolders folders,
                                                                   std::string executablePath,
                                                                   ProcessLocator locator)
    : folders_(std::move(folders)),
      executablePath_(std::move(executablePath)),
      locator_(std::move(locator)) {}

NativeMessagingManifestInstaller NativeMessagingManifestInstaller::withDefaultFolders(
    std::string executablePath) {
    const AppPaths paths = AppPaths::fromProcess();
    return NativeMessagingManifestInstaller({paths.home(), paths.configHome()},
                                            std::move(executablePath));
}

std::filesystem::path NativeMessagingManifestInstaller::folderPath(ManifestFolder folder) const {
    const std::filesystem::path& base =
        folder.base == ManifestBase::home ? folders_.home : folders_.configHome;
    return base / folder.subpath;
}

std::filesystem::path NativeMessagingManifestInstaller::manifestURL(
    NativeMessagingBrowser browser) const {
    const ManifestFolder folder = manifestFolder(browser);
    if (folder.subpath.empty()) return {};
    return folderPath(folder) / (std::string(NativeHostName) + ".json");
}

std::filesystem::path NativeMessagingManifestInstaller::wrapperURL(
    NativeMessagingBrowser browser) const {
    if (connection(browser) != BrowserConnection::flatpakWrapper) return {};
    return folders_.home / ".var/app" / flatpakAppID(browser) / "data" / NativeHostName /
           "flatpak-host";
}

bool NativeMessagingManifestInstaller::hasProfileFolder(NativeMessagingBrowser browser) const {
    const std::filesystem::path profile = folderPath(profileFolder(browser));
    std::error_code ignored;
    return profile.is_absolute() && std::filesystem::is_directory(profile, ignored);
}

std::string standardizedPath(const std::string& path) {
    std::vector<std::string_view> components;
    std::string_view rest = path;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view component = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (component.empty() || component == ".") continue;
        if (component == "..") {
            if (!components.empty()) components.pop_back();
            continue;
        }
        components.push_back(component);
    }
    if (components.empty()) return "/";
    std::string result;
    for (std::string_view component : components) {
        result += '/';
        result += component;
    }
    return result;
}

Result<std::string, NativeMessagingInstallerError>
NativeMessagingManifestInstaller::resolvedExecutablePath() const {
    if (!executablePath_.empty() && executablePath_.front() == '/') {
        return standardizedPath(executablePath_);
    }
    if (executablePath_.find('/') == std::string::npos) {
        // Started through PATH: the working directory says nothing about where
        // the program is.
        std::optional<std::string> running =
            locator_.runningExecutable ? locator_.runningExecutable() : std::nullopt;
        if (!running || running->empty() || running->front() != '/') {
            return NativeMessagingInstallerError::executablePath(
                "the running program's path is unknown (argument 0 is '" + executablePath_ + "')");
        }
        return standardizedPath(*running);
    }
    std::optional<std::string> cwd =
        locator_.workingDirectory ? locator_.workingDirectory() : std::nullopt;
    if (!cwd || cwd->empty() || cwd->front() != '/') {
        return NativeMessagingInstallerError::executablePath(
            "the working directory is unknown (argument 0 is '" + executablePath_ + "')");
    }
    return standardizedPath(*cwd + "/" + executablePath_);
}

Result<std::string, NativeMessagingInstallerError> NativeMessagingManifestInstaller::manifestText(
    NativeMessagingBrowser browser, std::span<const std::string> extensionIDs,
    const std::string& executablePath) {
    nlohmann::json allowed = nlohmann::json::array();
    if (isChromium(browser)) {
        for (const std::string& id : extensionIDs) {
            allowed.push_back(std::string(extensionOriginPrefix) + id + "/");
        }
    } else {
        allowed.push_back(std::string(FirefoxAddonID));
    }
    // nlohmann::json objects keep their members sorted by key, which gives the
    // required order: the allowed list, description, name, path, type.
    nlohmann::json manifest = nlohmann::json::object();
    manifest["name"] = std::string(NativeHostName);
    manifest["description"] = "Tavrin Bridge native host";
    manifest["path"] = executablePath;
    manifest["type"] = "stdio";
    manifest[allowedListKey(browser)] = std::move(allowed);
    try {
        return manifest.dump(2) + "\n";
    } catch (const std::exception& error) {
        // Text that is not valid UTF-8 (a path or an ID) cannot be written as JSON.
        return NativeMessagingInstallerError::serialization(error.what());
    }
}

std::string NativeMessagingManifestInstaller::wrapperText(const std::string& executablePath) {
    // In single quotes the shell takes everything literally but a quote.
    std::string quoted = "'";
    for (char c : executablePath)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    return "#!/bin/sh\n"
           "# Written by tavrin-bridge install-native-messaging-host. The browser runs in a\n"
           "# Flatpak sandbox and starts this script inside it; flatpak-spawn runs the\n"
           "# bridge on the host with the same arguments and standard streams.\n"
           "exec flatpak-spawn --host " +
           quoted + " \"$@\"\n";
}

Result<Unit, NativeMessagingInstallerError> NativeMessagingManifestInstaller::install(
    NativeMessagingBrowser browser, std::span<const std::string> extensionIDs) const {
    if (connection(browser) == BrowserConnection::none) {
        return NativeMessagingInstallerError::cannotConnect(browser);
    }
    if (isChromium(browser) && extensionIDs.empty()) {
        return NativeMessagingInstallerError::noExtensionIDsProvided(browser);
    }
    Result<std::string, NativeMessagingInstallerError> path = resolvedExecutablePath();
    if (!path) return std::move(path).error();

    const std::filesystem::path target = manifestURL(browser);
    // Without a home folder the manifest would land below the working directory.
    if (!target.is_absolute()) return unknownHome(browser);
    std::string started = path.value();
    if (const std::filesystem::path wrapper = wrapperURL(browser); !wrapper.empty()) {
        if (auto written = writeFile(wrapper, wrapperText(started), 0755); !written) {
            return std::move(written).error();
        }
        started = wrapper.string();
    }
    Result<std::string, NativeMessagingInstallerError> text =
        manifestText(browser, extensionIDs, started);
    if (!text) return std::move(text).error();
    return writeFile(target, text.value(), 0644);
}

Result<Unit, NativeMessagingInstallerError> NativeMessagingManifestInstaller::writeFile(
    const std::filesystem::path& target, const std::string& text, mode_t mode) {
    if (auto created = files::createDirectories(target.parent_path(), 0755); !created) {
        return NativeMessagingInstallerError::fileSystem(std::move(created).error());
    }
    // Every host run connects the browsers: a file that already says
    // exactly this is left alone instead of being rewritten and flushed to
    // disk each time a browser starts the host.
    std::error_code ignored;
    const std::filesystem::file_status status = std::filesystem::symlink_status(target, ignored);
    if (status.type() == std::filesystem::file_type::regular &&
        (status.permissions() & std::filesystem::perms::all) ==
            static_cast<std::filesystem::perms>(mode) &&
        readSmallFile(target, maxManifestBytes) == text) {
        return Unit{};
    }
    if (auto written = files::replaceFile(target, text, mode); !written) {
        return NativeMessagingInstallerError::fileSystem(std::move(written).error());
    }
    return Unit{};
}

Result<Unit, NativeMessagingInstallerError> NativeMessagingManifestInstaller::uninstall(
    NativeMessagingBrowser browser) const {
    // Nothing was ever written for a browser that cannot connect.
    if (connection(browser) == BrowserConnection::none) return Unit{};
    for (const std::filesystem::path& target : {manifestURL(browser), wrapperURL(browser)}) {
        if (target.empty()) continue;
        if (!target.is_absolute()) return unknownHome(browser);
        if (auto removed = removeFileIfPresent(target); !removed) {
            return NativeMessagingInstallerError::fileSystem(std::move(removed).error());
        }
    }
    return Unit{};
}

std::optional<std::vector<std::string>> NativeMessagingManifestInstaller::currentExtensionIDs(
    NativeMessagingBrowser browser) const {
    const std::filesystem::path target = manifestURL(browser);
    if (!target.is_absolute()) return std::nullopt;
    const std::optional<std::string> text = readSmallFile(target, maxManifestBytes);
    if (!text) return std::nullopt;
    const nlohmann::json document = nlohmann::json::parse(*text, nullptr, false);
    if (document.is_discarded() || !document.is_object()) return std::nullopt;
    const auto member = document.find(allowedListKey(browser));
    if (member == document.end()) return std::nullopt;
    std::optional<std::vector<std::string>> entries = stringArray(*member);
    if (!entries || !isChromium(browser)) return entries;

    std::vector<std::string> ids;
    for (const std::string& origin : *entries) {
        if (!origin.starts_with(extensionOriginPrefix)) continue;
        std::string id = origin.substr(extensionOriginPrefix.size());
        if (!id.empty() && id.back() == '/') id.pop_back();
        ids.push_back(std::move(id));
    }
    return ids;
}

}  // namespace tavrin::host
