#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tavrin::host {

Result<Unit, FileError> removeFileIfPresent(const std::filesystem::path& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT && errno != ENOTDIR) {
        return FileError::make("remove", path, errno);
    }
    return Unit{};
}

std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t maxBytes) {
    // O_NONBLOCK: opening a FIFO planted at the path must not hang; it has
    // no effect on reading a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> content;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        std::string buffer;
        char chunk[4096];
        bool failed = false;
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || buffer.size() + static_cast<std::size_t>(n) > maxBytes) {
                failed = true;
                break;
            }
            if (n == 0) break;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        if (!failed) content = std::move(buffer);
    }
    ::close(fd);
    return content;
}

Result<std::optional<std::string>, FileError> readFileIfPresent(const std::filesystem::path& path,
                                                                std::size_t maxBytes) {
    using Content = std::optional<std::string>;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return Content();
        return FileError::make("open", path, errno);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int code = errno;
        ::close(fd);
        return FileError::make("examine", path, code);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return FileError::make("read", path, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    }
    std::string buffer;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int code = errno;
            ::close(fd);
            return FileError::make("read", path, code);
        }
        if (n == 0) break;
        if (buffer.size() + static_cast<std::size_t>(n) > maxBytes) {
            ::close(fd);
            return FileError::make("read", path, EFBIG);
        }
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return Content(std::move(buffer));
}

bool fileExists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace tavrin::host
