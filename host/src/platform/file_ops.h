#pragma once
// The file operations behind manifests and the first-run marker. Files the
// system owns are always replaced whole, so a reader never sees half a file.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace tavrin::host {

// A failed file operation: the step, the path and the system's reason, e.g.
// "create directory /home/u/.config/x: Not a directory".
struct FileError {
    std::string description;
    int code = 0;  // errno, 0 when the failure has none

    static FileError make(std::string_view step, const std::filesystem::path& path, int code);
};

// Creates the folder and every missing parent with exactly `mode`, whatever
// the umask; folders that exist already are left as they are.
Result<Unit, FileError> createDirectories(const std::filesystem::path& directory,
                                          mode_t mode = 0755);

// Writes `bytes` to a new file beside `path` and renames it over `path`, so
// the target holds either its old or its new content, with exactly `mode`
// whatever the umask. The temporary file has a name no one else uses, is
// created only if nothing (not even a link) is at that name, and is removed
// on failure.
Result<Unit, FileError> writeFileAtomically(const std::filesystem::path& path,
                                            std::string_view bytes, mode_t mode = 0644);

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
