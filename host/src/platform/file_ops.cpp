#include "platform/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

namespace tavrin::host {

namespace {

std::string errnoText(int code) {
    return std::generic_category().message(code);
}

int closeKeepingErrno(int fd) {
    const int saved = errno;
    const int rc = close(fd);
    errno = saved;
    return rc;
}

// A name no other writer uses at the same time: process id plus a counter,
// hidden so that a folder listing does not show it as a manifest.
std::filesystem::path temporaryPathBeside(const std::filesystem::path& path) {
    static std::atomic<unsigned> counter{0};
    // Appended piece by piece: GCC 12 at -O3 warns falsely about
    // "literal" + std::string&& (-Wrestrict).
    std::string name = ".";
    name += path.filename().string();
    name += ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1));
    return path.parent_path() / name;
}

Result<Unit, FileError> writeAll(int fd, std::string_view bytes,
                                 const std::filesystem::path& path) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return FileError::make("write temporary file", path, errno);
        }
        if (n == 0) return FileError::make("write temporary file", path, EIO);
        written += static_cast<std::size_t>(n);
    }
    return Unit{};
}

}  // namespace

FileError FileError::make(std::string_view step, const std::filesystem::path& path, int code) {
    return FileError{std::string(step) + " " + path.string() + ": " + errnoText(code), code};
}

Result<Unit, FileError> createDirectories(const std::filesystem::path& directory, mode_t mode) {
    if (directory.empty()) return FileError::make("create directory", directory, ENOENT);
    struct stat info {};
    if (::stat(directory.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return Unit{};
        return FileError::make("create directory", directory, ENOTDIR);
    }
    if (errno != ENOENT) return FileError::make("create directory", directory, errno);
    const std::filesystem::path parent = directory.parent_path();
    if (parent != directory && !parent.empty()) {
        if (auto made = createDirectories(parent, mode); !made) return made;
    }
    if (::mkdir(directory.c_str(), mode) == 0) {
        // mkdir applies the umask; the mode asked for is the mode meant.
        if (::chmod(directory.c_str(), mode) != 0) {
            return FileError::make("set the mode of", directory, errno);
        }
    } else if (errno != EEXIST) {
        return FileError::make("create directory", directory, errno);
    }
    return Unit{};
}

Result<Unit, FileError> writeFileAtomically(const std::filesystem::path& path,
                                            std::string_view bytes, mode_t mode) {
    std::filesystem::path temporary;
    int fd = -1;
    // O_EXCL guards against a stale file of the same name; retry with the next name.
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = temporaryPathBeside(path);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST && errno != EINTR) {
            return FileError::make("create temporary file", temporary, errno);
        }
    }
    if (fd < 0) return FileError::make("create temporary file", temporary, EEXIST);

    Result<Unit, FileError> written = Unit{};
    if (::fchmod(fd, mode) != 0) written = FileError::make("set the mode of", temporary, errno);
    if (written) written = writeAll(fd, bytes, temporary);
    // The data must be on disk before the rename makes it the file's content.
    if (written && ::fsync(fd) != 0) {
        written = FileError::make("flush temporary file", temporary, errno);
    }
    if (closeKeepingErrno(fd) != 0 && written) {
        written = FileError::make("close temporary file", temporary, errno);
    }
    if (written && ::rename(temporary.c_str(), path.c_str()) != 0) {
        written = FileError::make("replace", path, errno);
    }
    if (!written) ::unlink(temporary.c_str());
    return written;
}

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
