#pragma once
// The per-user folders the host works in, and where the running program is.
// The only place that reads HOME and the XDG variables; everything else takes
// these folders as values so that tests can point them elsewhere.

#include <filesystem>
#include <optional>
#include <string>

namespace tavrin::host {

// The environment values the folders are derived from; unset is nullopt.
struct EnvironmentValues {
    std::optional<std::string> home;
    std::optional<std::string> xdgDataHome;
    std::optional<std::string> xdgConfigHome;

    // HOME (or, when it is unset or not absolute, the account's home folder
    // from the user database), XDG_DATA_HOME and XDG_CONFIG_HOME of this process.
    static EnvironmentValues fromProcess();
};

class AppPaths {
  public:
    explicit AppPaths(EnvironmentValues environment);
    static AppPaths fromProcess() { return AppPaths(EnvironmentValues::fromProcess()); }

    // Empty when no home folder is known.
    std::filesystem::path home() const;
    // $XDG_CONFIG_HOME when set and absolute, else ~/.config.
    std::filesystem::path configHome() const;
    // $XDG_DATA_HOME when set and absolute, else ~/.local/share.
    std::filesystem::path dataHome() const;
    // dataHome()/<NativeHostName>: the consent file and the first-run marker.
    std::filesystem::path applicationDataDirectory() const;

  private:
    EnvironmentValues environment_;
};

// The real path of the running program (/proc/self/exe); nullopt if unknown.
std::optional<std::string> runningExecutablePath();
// The process's working directory; nullopt if it cannot be determined.
std::optional<std::string> currentWorkingDirectory();

}  // namespace tavrin::host
