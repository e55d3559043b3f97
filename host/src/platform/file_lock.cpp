#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace tavrin::host {

Result<FileLock, FileError> FileLock::acquire(const std::filesystem::path& lockPath) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return FileError::make("open lock file", lockPath, errno);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int code = errno;
        ::close(fd);
        return FileError::make("lock", lockPath, code);
    }
    return FileLock(fd);
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace tavrin::host
