#include "common/file_replace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>
#include <system_error>
#include <thread>
#include <utility>

namespace tavrin::files {
namespace {

// A name no other writer uses at the same time: process id, a counter and a
// random number. Hidden, so that a folder listing (a browser looking for
// manifests) does not take it for a file of its own.
std::filesystem::path temporaryPathBeside(const std::filesystem::path& path) {
    static std::atomic<unsigned> counter{0};
    static thread_local std::minstd_rand random{std::random_device{}()};
    std::string name = ".";
    name += path.filename().string();
    name += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1)) +
            "." + std::to_string(random());
    return path.parent_path() / name;
}

Result<Unit, FileFailure> writeAll(int fd, std::string_view bytes,
                                   const std::filesystem::path& path) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return FileFailure::make("write temporary file", path, errno);
        }
        if (n == 0) return FileFailure::make("write temporary file", path, EIO);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return Unit{};
}

// Makes a rename in `folder` durable. File systems that cannot sync a folder
// answer EINVAL; there is nothing more to do on them.
Result<Unit, FileFailure> syncFolder(const std::filesystem::path& folder) {
    const std::filesystem::path dir = folder.empty() ? std::filesystem::path(".") : folder;
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FileFailure::make("open folder", dir, errno);
    Result<Unit, FileFailure> synced = Unit{};
    if (::fsync(fd) != 0 && errno != EINVAL) synced = FileFailure::make("flush folder", dir, errno);
    ::close(fd);
    return synced;
}

}  // namespace

FileFailure FileFailure::make(std::string_view step, const std::filesystem::path& path, int code) {
    return FileFailure{
        std::string(step) + " " + path.string() + ": " + std::generic_category().message(code),
        code};
}

Result<FileLock, FileFailure> FileLock::acquire(const std::filesystem::path& lockPath,
                                                std::chrono::milliseconds wait) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return FileFailure::make("open lock file", lockPath, errno);
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
            return FileFailure{"could not take the lock " + lockPath.string() + " within " +
                                   std::to_string(wait.count()) + " ms: another process holds it",
                               0};
        }
        return FileFailure::make("lock", lockPath, code);
    }
    return FileLock(fd);
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

Result<Unit, FileFailure> createDirectories(const std::filesystem::path& directory, mode_t mode) {
    if (directory.empty()) return FileFailure::make("create directory", directory, ENOENT);
    struct stat info {};
    if (::stat(directory.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return Unit{};
        return FileFailure::make("create directory", directory, ENOTDIR);
    }
    if (errno != ENOENT) return FileFailure::make("create directory", directory, errno);
    const std::filesystem::path parent = directory.parent_path();
    if (parent != directory && !parent.empty()) {
        if (auto made = createDirectories(parent, mode); !made) return made;
    }
    // Another process may have created it since the stat above.
    if (::mkdir(directory.c_str(), mode) == 0) {
        // mkdir applies the umask; the mode asked for is the mode meant.
        if (::chmod(directory.c_str(), mode) != 0) {
            return FileFailure::make("set the mode of", directory, errno);
        }
    } else if (errno != EEXIST) {
        return FileFailure::make("create directory", directory, errno);
    }
    return Unit{};
}

Result<Unit, FileFailure> replaceFile(const std::filesystem::path& path, std::string_view bytes,
                                      mode_t mode) {
    std::filesystem::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = temporaryPathBeside(path);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST && errno != EINTR) {
            return FileFailure::make("create temporary file", temporary, errno);
        }
    }
    if (fd < 0) return FileFailure::make("create temporary file", temporary, EEXIST);

    Result<Unit, FileFailure> written = Unit{};
    if (::fchmod(fd, mode) != 0) written = FileFailure::make("set the mode of", temporary, errno);
    if (written) written = writeAll(fd, bytes, temporary);
    // The data must be on disk before the rename makes it the file's content.
    if (written && ::fsync(fd) != 0) {
        written = FileFailure::make("flush temporary file", temporary, errno);
    }
    if (::close(fd) != 0 && written) {
        written = FileFailure::make("close temporary file", temporary, errno);
    }
    if (written && ::rename(temporary.c_str(), path.c_str()) != 0) {
        written = FileFailure::make("replace", path, errno);
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return written;
    }
    return syncFolder(path.parent_path());
}

}  // namespace tavrin::files
