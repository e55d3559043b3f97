#pragma once
// The two installer subcommands: install-native-messaging-host and
// uninstall-native-messaging-host, with "--browser" and "--extension-id".

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "browser/manifest_installer.h"
#include "browser/native_messaging_browser.h"
#include "common/result.h"

namespace tavrin::host {

class NativeMessagingCLIError {
  public:
    enum class Kind { missingValue, unknownBrowser };

    static NativeMessagingCLIError missingValue(std::string flag);
    static NativeMessagingCLIError unknownBrowser(std::string value);

    Kind kind() const { return kind_; }
    const std::string& payload() const { return payload_; }  // the flag or the bad value
    // "--browser requires a value", "unknown --browser value 'x' (expected one of: ...)".
    std::string description() const;

    bool operator==(const NativeMessagingCLIError&) const = default;

  private:
    NativeMessagingCLIError(Kind kind, std::string payload)
        : kind_(kind), payload_(std::move(payload)) {}

    Kind kind_;
    std::string payload_;
};

class NativeMessagingCLI {
  public:
    NativeMessagingCLI() = delete;

    // `arguments` is the whole argument list, argument 0 the program path.
    // nullopt when argument 1 is not one of the two subcommands (the caller
    // picks another run mode); otherwise the exit status: 0, or 1 when a
    // failure was reported. Result lines go to `out`, failure lines to `err`.
    static std::optional<std::int32_t> run(std::span<const std::string> arguments,
                                           const NativeMessagingManifestInstaller& installer,
                                           std::ostream& out, std::ostream& err);
    // The same on standard output and standard error.
    static std::optional<std::int32_t> run(std::span<const std::string> arguments,
                                           const NativeMessagingManifestInstaller& installer);

    // The browser named after the first "--browser"; nullopt when there is
    // no such option or its value is "all", which mean defaultBrowsers().
    static Result<std::optional<NativeMessagingBrowser>, NativeMessagingCLIError> parseBrowser(
        std::span<const std::string> arguments);
    // The nine main browsers, then each other one that can connect and whose
    // profile folder exists in the installer's folders, in the order of
    // allNativeMessagingBrowsers.
    static std::vector<NativeMessagingBrowser> defaultBrowsers(
        const NativeMessagingManifestInstaller& installer);
    // Every value that follows an "--extension-id", in order, duplicates kept.
    static std::vector<std::string> parseExtensionIDs(std::span<const std::string> arguments);
};

}  // namespace tavrin::host
