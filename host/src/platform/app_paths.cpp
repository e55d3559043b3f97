#include "platform/app_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <utility>
#include <vector>

#include "browser/identifiers.h"

namespace tavrin::host {

namespace {

std::optional<std::string> environmentValue(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool isAbsolute(const std::optional<std::string>& value) {
    return value.has_value() && !value->empty() && value->front() == '/';
}

std::optional<std::string> homeFromUserDatabase() {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr) {
        return std::nullopt;
    }
    return std::string(found->pw_dir);
}

}  // namespace

EnvironmentValues EnvironmentValues::fromProcess() {
    EnvironmentValues values;
    values.home = environmentValue("HOME");
    if (!isAbsolute(values.home)) values.home = homeFromUserDatabase();
    values.xdgDataHome = environmentValue("XDG_DATA_HOME");
    values.xdgConfigHome = environmentValue("XDG_CONFIG_HOME");
    return values;
}

AppPaths::AppPaths(EnvironmentValues environment) : environment_(std::move(environment)) {}

std::filesystem::path AppPaths::home() const {
    // A relative home would put every file below the working directory.
    if (!isAbsolute(environment_.home)) return {};
    return *environment_.home;
}

std::filesystem::path AppPaths::configHome() const {
    if (isAbsolute(environment_.xdgConfigHome)) return *environment_.xdgConfigHome;
    const std::filesystem::path base = home();
    return base.empty() ? base : base / ".config";
}

std::filesystem::path AppPaths::dataHome() const {
    if (isAbsolute(environment_.xdgDataHome)) return *environment_.xdgDataHome;
    const std::filesystem::path base = home();
    return base.empty() ? base : base / ".local" / "share";
}

std::filesystem::path AppPaths::applicationDataDirectory() const {
    const std::filesystem::path base = dataHome();
    return base.empty() ? base : base / std::string(NativeHostName);
}

std::optional<std::string> runningExecutablePath() {
    std::error_code error;
    std::filesystem::path target = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !target.is_absolute()) return std::nullopt;
    return target.string();
}

std::optional<std::string> currentWorkingDirectory() {
    std::error_code error;
    std::filesystem::path cwd = std::filesystem::current_path(error);
    if (error || !cwd.is_absolute()) return std::nullopt;
    return cwd.string();
}

}  // namespace tavrin::host
