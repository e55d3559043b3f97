#pragma once
// The marker that tells the window whether the browsers have been connected
// before. Only its existence matters; it holds the completion time.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "common/result.h"
#include "platform/file_ops.h"

namespace tavrin::host {

class FirstRunStore {
  public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    FirstRunStore() = delete;

    // `applicationDataDirectory`/first-run-complete.
    static std::filesystem::path url(const std::filesystem::path& applicationDataDirectory);
    // In AppPaths::fromProcess().applicationDataDirectory().
    static std::filesystem::path url();

    static bool isCompleted(const std::filesystem::path& marker);

    // Creates the marker's folder and writes the marker atomically with the
    // clock's time in ISO 8601 form (e.g. 2026-12-07T01:34:54Z, no line feed).
    static Result<Unit, FileError> markCompleted(
        const std::filesystem::path& marker, const Clock& clock = std::chrono::system_clock::now);

    // UTC, whole seconds.
    static std::string iso8601(std::chrono::system_clock::time_point time);
};

}  // namespace tavrin::host
