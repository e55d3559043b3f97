#pragma once
// Writes, reads back and removes the browsers' native-messaging manifests.
// Plain file handling over two base folders and an executable path; nothing
// here reads the environment, so tests point the folders into a temporary
// directory.

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
        executablePath,          // the executable's absolute path cannot be determined
        serialization,           // the manifest could not be turned into JSON text
        fileSystem,              // a folder or file operation failed
    };

    static NativeMessagingInstallerError noExtensionIDsProvided(NativeMessagingBrowser browser);
    static NativeMessagingInstallerError executablePath(std::string description);
    static NativeMessagingInstallerError serialization(std::string description);
    static NativeMessagingInstallerError fileSystem(FileError error);

    Kind kind() const { return kind_; }
    // Set for noExtensionIDsProvided.
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

// The user folders manifests live under (see manifestFolder()).
struct InstallerFolders {
    std::filesystem::path home;
    std::filesystem::path configHome;
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

    // The browser's folder + "<NativeHostName>.json". Touches no file.
    std::filesystem::path manifestURL(NativeMessagingBrowser browser) const;

    // Whether the folder that holds the browser's manifest folder (its profile
    // or configuration folder, e.g. ~/.config/chromium) is a directory: the
    // browser has run for this user.
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
    Result<Unit, NativeMessagingInstallerError> install(
        NativeMessagingBrowser browser, std::span<const std::string> extensionIDs) const;

    // Deletes the manifest; no manifest is a success.
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

  private:
    InstallerFolders folders_;
    std::string executablePath_;
    ProcessLocator locator_;
};

// Removes "." components and each ".." with the component before it, and
// collapses repeated slashes. `path` must be absolute; the result is too.
std::string standardizedPath(const std::string& path);

}  // namespace tavrin::host
