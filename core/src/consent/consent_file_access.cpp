#include "consent/consent_file_access.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <utility>

namespace tavrin::consent_file {
namespace {

// Owns a file descriptor for reading the consent file.
class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }

  private:
    int fd_;
};

Result<std::string, IoError> read_all(int fd, std::size_t size_hint) {
    std::string bytes;
    bytes.reserve(size_hint);
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return bytes;
        } else if (errno != EINTR) {
            return IoError::from_errno(errno);
        }
    }
}

// The core reports a file failure the way its other I/O failures read: the
// system's text for the errno, or the failure's own text when it has none.
IoError io_error(const files::FileFailure& failure) {
    return failure.code != 0 ? IoError::from_errno(failure.code)
                             : IoError::other(failure.description);
}

}  // namespace

Result<std::optional<Content>, IoError> read(const std::string& path) {
    // Non-blocking so that a FIFO put in the file's place cannot hang us.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        // Only a missing file means "no grants yet".
        if (errno == ENOENT) return std::optional<Content>();
        return IoError::from_errno(errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return IoError::from_errno(errno);
    if (S_ISDIR(st.st_mode)) return IoError::from_errno(EISDIR);
    if (!S_ISREG(st.st_mode)) return IoError::other("the consent file is not a regular file");

    auto bytes = read_all(fd.get(), static_cast<std::size_t>(st.st_size));
    if (!bytes) return std::move(bytes).error();
    return std::optional<Content>(Content{std::move(bytes).value(), st});
}

Result<files::FileLock, IoError> lock(const std::string& path, std::chrono::milliseconds wait) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        if (auto made = files::createDirectories(folder, 0700); !made)
            return io_error(made.error());
    }
    auto held = files::FileLock::acquire(path + ".lock", wait);
    if (!held) return io_error(held.error());
    return std::move(held).value();
}

Result<Unit, IoError> replace(const std::string& path, const std::string& bytes) {
    if (auto replaced = files::replaceFile(path, bytes, 0600); !replaced)
        return io_error(replaced.error());
    return Unit{};
}

}  // namespace tavrin::consent_file
