#pragma once
// Reading, locking and replacing the consent file: what the core's consent
// store and the window's listing and revoking (grant_records.h) share.

#include <sys/stat.h>

#include <chrono>
#include <optional>
#include <string>

#include "common/file_replace.h"
#include "common/io_error.h"
#include "common/result.h"

namespace tavrin::consent_file {

struct Content {
    std::string bytes;
    struct stat status;
};

// The file's bytes and status; nothing when there is no file. Every other
// failure to read (a parent that is not a folder, no permission, a folder or
// a FIFO in the file's place) is an error.
Result<std::optional<Content>, IoError> read(const std::string& path);

// Creates the file's folder (0700, the user's data folder) and takes the
// lock on "<file>.lock", waiting at most `wait` for another holder.
Result<files::FileLock, IoError> lock(const std::string& path, std::chrono::milliseconds wait);

// Replaces the file whole with `bytes` (mode 0600).
Result<Unit, IoError> replace(const std::string& path, const std::string& bytes);

}  // namespace tavrin::consent_file
