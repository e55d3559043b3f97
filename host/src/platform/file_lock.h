#pragma once
// An exclusive advisory lock on a file beside the data it guards. The core's
// consent store takes the same flock on "consent.json.lock" before it merges a
// grant, so the host's rewrite of the file and a grant never interleave.

#include <chrono>
#include <filesystem>

#include "common/result.h"
#include "platform/file_ops.h"

namespace tavrin::host {

class FileLock {
  public:
    // Creates the lock file if needed (never through a symbolic link) and
    // waits until the lock is ours, for at most `wait`: a holder that never
    // lets go (a hung process) makes it fail instead of hanging.
    static Result<FileLock, FileError> acquire(
        const std::filesystem::path& lockPath,
        std::chrono::milliseconds wait = std::chrono::milliseconds(10000));

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&&) = delete;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // Closing the descriptor releases the lock.
    ~FileLock();

  private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace tavrin::host
