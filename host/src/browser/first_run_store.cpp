#include "browser/first_run_store.h"

#include <cerrno>
#include <ctime>

#include "platform/app_paths.h"

namespace tavrin::host {

std::filesystem::path FirstRunStore::url(const std::filesystem::path& applicationDataDirectory) {
    return applicationDataDirectory / "first-run-complete";
}

std::filesystem::path FirstRunStore::url() {
    return url(AppPaths::fromProcess().applicationDataDirectory());
}

bool FirstRunStore::isCompleted(const std::filesystem::path& marker) {
    return fileExists(marker);
}

std::string FirstRunStore::iso8601(std::chrono::system_clock::time_point time) {
    const std::time_t seconds =
        std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(time));
    std::tm utc{};
    char text[32];
    if (gmtime_r(&seconds, &utc) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0) {
        return "1970-01-01T00:00:00Z";
    }
    return text;
}

Result<Unit, FileError> FirstRunStore::markCompleted(const std::filesystem::path& marker,
                                                     const Clock& clock) {
    if (!marker.is_absolute()) {
        // No data folder known: writing below the working directory would be wrong.
        return FileError{"write first-run marker: the application data folder is unknown", ENOENT};
    }
    // The consent file's folder: the user's alone.
    if (auto created = files::createDirectories(marker.parent_path(), 0700); !created) return created;
    return files::replaceFile(marker, iso8601(clock ? clock() : std::chrono::system_clock::now()),
                              0644);
}

}  // namespace tavrin::host
