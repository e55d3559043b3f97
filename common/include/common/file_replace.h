#pragma once
// Replacing a file whole, under an exclusive lock, as every file the program
// writes is replaced: the consent file (by the core on a grant and by the
// window on a revoke), the browsers' manifests and the first-run marker.
// A reader sees the old content or the new one, never a mix, and after a
// power loss the file holds one of the two as well.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/result.h"

namespace tavrin::files {

// A failed step: the text names the step, the path and the system's reason,
// e.g. "create directory /home/u/.config/x: Not a directory".
struct FileFailure {
    std::string description;
    int code = 0;  // errno, 0 when the failure has none (a lock wait that ran out)

    static FileFailure make(std::string_view step, const std::filesystem::path& path, int code);
};

// An exclusive advisory lock (flock) on a file beside the data it guards,
// held until the object is destroyed. Each acquisition opens its own
// descriptor, so two holders in one process exclude each other just as two
// processes do.
class FileLock {
  public:
    // Creates the lock file if needed (mode 0600, never through a symbolic
    // link) and waits until the lock is ours, for at most `wait`: a holder
    // that never lets go (a hung process) makes it fail instead of hanging.
    static Result<FileLock, FileFailure> acquire(
        const std::filesystem::path& lockPath,
        std::chrono::milliseconds wait = std::chrono::milliseconds(10000));

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&&) = delete;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

  private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_;
};

// Creates the folder and every missing parent with exactly `mode`, whatever
// the umask; folders that exist already are left as they are.
Result<Unit, FileFailure> createDirectories(const std::filesystem::path& directory, mode_t mode);

// Writes `bytes` to a new file beside `path`, flushes it, renames it over
// `path` and flushes the folder, so the rename itself survives a power loss.
// The file gets exactly `mode` whatever the umask. The temporary file is
// hidden, has a name no one else uses, is created only if nothing (not even
// a link) is at that name, and is removed again when a step fails.
Result<Unit, FileFailure> replaceFile(const std::filesystem::path& path, std::string_view bytes,
                                      mode_t mode);

}  // namespace tavrin::files
