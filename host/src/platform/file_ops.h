#pragma once
// Reading and removing the files behind manifests, the first-run marker and
// the consent records. Writing them goes through common/file_replace.h.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/file_replace.h"
#include "common/result.h"

namespace tavrin::host {

// A failed file operation: the step, the path and the system's reason.
using FileError = files::FileFailure;

// Deletes the file; a missing file is a success, and so is a path running
// through a regular file (no file can exist below one).
Result<Unit, FileError> removeFileIfPresent(const std::filesystem::path& path);

// The whole content of a regular file of at most `maxBytes`; nullopt when it
// is missing, unreadable, not a regular file or larger.
std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t maxBytes);

// The whole content of a regular file of at most `maxBytes`; nullopt when
// nothing is at `path`; an error when something is there but cannot be read
// (no permission, a folder or a FIFO, larger than `maxBytes`).
Result<std::optional<std::string>, FileError> readFileIfPresent(const std::filesystem::path& path,
                                                                std::size_t maxBytes);

// True when something exists at `path` (a dangling symbolic link does not count).
bool fileExists(const std::filesystem::path& path);

}  // namespace tavrin::host
