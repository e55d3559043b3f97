#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

namespace tavrin::host {

Result<FileLock, FileError> FileLock::acquire(const std::filesystem::path& lockPath,
                                              std::chrono::milliseconds wait) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return FileError::make("open lock file", lockPath, errno);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int code = errno;
        if (code == EWOULDBLOCK && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        ::close(fd);
        if (code == EWOULDBLOCK) {
            return FileError{"lock " + lockPath.string() + ": another process has held it for " +
                                 std::to_string(wait.count()) + " ms",
                             code};
        }
        return FileError::make("lock", lockPath, code);
    }
    return FileLock(fd);
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace tavrin::host
