#pragma once
// Writes, reads back and removes the browsers' native-messaging manifests.
// Plain file handling over base folders and an executable path; nothing
// here reads the environment, so tests point the folders into a temporary
// directory.

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "browser/native_messaging_browser.h"
#include "common/result.h"
#include "platform/file_ops.h"

namespace tavrin::host {

class NativeMessagingInstallerError {
  public:
    enum class Kind {
        noExtensionIDsProvided,  // a Chromium manifest needs at least one extension ID
        cannotConnect,           // the browser cannot start any host outside its sandbox
        executablePath,          // the executable's absolute path cannot be determined
        serialization,           // the manifest could not be turned into JSON text
        fileSystem,              // a folder or file operation failed
    };

    static NativeMessagingInstallerError noExtensionIDsProvided(NativeMessagingBrowser browser);
    static NativeMessagingInstallerError cannotConnect(NativeMessagingBrowser browser);
    static NativeMessagingInstallerError executablePath(std::string description);
    static NativeMessagingInstallerError serialization(std::string description);
    static NativeMessagingInstallerError fileSystem(FileError error);

    Kind kind() const { return kind_; }
    // Set for noExtensionIDsProvided and cannotConnect.
    std::optional<NativeMessagingBrowser> browser() const { return browser_; }
    // English text naming the failed step and its cause.
    const std::string& description() const { return description_; }

    bool operator==(const NativeMessagingInstallerError&) const = default;

  private:
    NativeMessagingInstallerError(Kind kind, std::optional<NativeMessagingBrowser> browser,
                                  std::string description);

    Kind kind_;
    std::optional<NativeMessagingBrowser> browser_;
    std::string description_;
};

// Where the desktop finds Firefox's manifests installed for every user (the
// package's), besides the user's own.
inline const std::vector<std::filesystem::path> systemFirefoxManifestFolders = {
    "/usr/lib/mozilla/native-messaging-hosts", "/usr/lib64/mozilla/native-messaging-hosts"};

// The user folders manifests live under (see manifestFolder()), and the
// system-wide Firefox folders read for confined Firefoxes.
struct InstallerFolders {
    std::filesystem::path home;
    std::filesystem::path configHome;
    std::vector<std::filesystem::path> systemFirefoxManifests = systemFirefoxManifestFolders;
};

// How the installer learns where the program runs; replaced in tests.
struct ProcessLocator {
    std::function<std::optional<std::string>()> runningExecutable;  // default: /proc/self/exe
    std::function<std::optional<std::string>()> workingDirectory;   // default: getcwd

    static ProcessLocator system();
};

class NativeMessagingManifestInstaller {
  public:
    // `executablePath` is the path the program was started by (argument 0).
    NativeMessagingManifestInstaller(InstallerFolders folders, std::string executablePath,
                                     ProcessLocator locator = ProcessLocator::system());
    // The user's own folders (AppPaths::fromProcess()).
    static NativeMessagingManifestInstaller withDefaultFolders(std::string executablePath);

    const InstallerFolders& folders() const { return folders_; }
    const std::string& executablePath() const { return executablePath_; }

    // The browser's folder + "<NativeHostName>.json"; empty for a browser
    // that cannot connect. Touches no file.
    std::filesystem::path manifestURL(NativeMessagingBrowser browser) const;
    // For a Flatpak whose manifest points to a wrapper: the wrapper, in the
    // application's data folder, which the sandbox sees at the same path.
    // Empty for the other browsers.
    std::filesystem::path wrapperURL(NativeMessagingBrowser browser) const;

    // Whether the browser's profile folder (profileFolder(), e.g.
    // ~/.config/chromium or ~/.var/app/org.chromium.Chromium) is a directory:
    // the browser has run for this user.
    bool hasProfileFolder(NativeMessagingBrowser browser) const;

    // The absolute, standardised path written into manifests: an absolute
    // executablePath as it is; one without any "/" (found through PATH) as
    // the real path of the running program; any other relative one against
    // the working directory. "." and ".." components are then removed.
    Result<std::string, NativeMessagingInstallerError> resolvedExecutablePath() const;

    // Writes the complete manifest, replacing whatever is there, through a
    // temporary file and a rename: a failure leaves the previous file intact.
    // A regular file that already holds exactly this manifest is not rewritten.
    // Chromium browsers need at least one ID (kept in order, duplicates kept);
    // for Firefox the IDs are ignored and the built-in add-on ID is written.
    // For a Flatpak the wrapper is written first and the manifest names it;
    // a browser that cannot connect gets nothing and cannotConnect.
    Result<Unit, NativeMessagingInstallerError> install(
        NativeMessagingBrowser browser, std::span<const std::string> extensionIDs) const;

    // Deletes the manifest (and a Flatpak's wrapper); no manifest is a success.
    Result<Unit, NativeMessagingInstallerError> uninstall(NativeMessagingBrowser browser) const;

    // The extension IDs of the existing manifest, or nullopt when it is
    // missing, unreadable, not JSON or its allowed list is not an array of
    // strings. For Chromium browsers, entries that are not extension origins
    // are skipped. Never fails.
    std::optional<std::vector<std::string>> currentExtensionIDs(
        NativeMessagingBrowser browser) const;

    // The manifest text install() writes for these values.
    static Result<std::string, NativeMessagingInstallerError> manifestText(
        NativeMessagingBrowser browser, std::span<const std::string> extensionIDs,
        const std::string& executablePath);
    // The wrapper a Flatpak's manifest names: it runs `executablePath` on the
    // host through flatpak-spawn, with the browser's arguments and standard
    // streams unchanged.
    static std::string wrapperText(const std::string& executablePath);

  private:
    std::filesystem::path folderPath(ManifestFolder folder) const;
    // Creates the parent folders and replaces the file unless it already
    // holds exactly `text` with exactly `mode`.
    static Result<Unit, NativeMessagingInstallerError> writeFile(
        const std::filesystem::path& target, const std::string& text, mode_t mode);

    InstallerFolders folders_;
    std::string executablePath_;
    ProcessLocator locator_;
};

// Removes "." components and each ".." with the component before it, and
// collapses repeated slashes. `path` must be absolute; the result is too.
std::string standardizedPath(const std::string& path);

}  // namespace tavrin::host
