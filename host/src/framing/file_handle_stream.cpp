#include "framing/file_handle_stream.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace tavrin::host {

namespace {

// For a descriptor someone made non-blocking: wait until it is ready again.
bool waitFor(int handle, short events) {
    pollfd entry{handle, events, 0};
    for (;;) {
        const int rc = ::poll(&entry, 1, -1);
        if (rc > 0) return true;
        if (rc < 0 && errno != EINTR) return false;
    }
}

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

int FileHandleReader::waitReadable() {
    for (;;) {
        pollfd entry{handle_, POLLIN, 0};
        if (::poll(&entry, 1, -1) < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        // End of input and errors show as POLLHUP/POLLERR; read() reports them.
        if (entry.revents != 0) return 0;
    }
}

Result<std::vector<std::uint8_t>, FramingError> FileHandleReader::readExactly(std::size_t count) {
    std::vector<std::uint8_t> buffer(count);
    std::size_t received = 0;
    while (received < count) {
        // Read first; wait only on a descriptor someone made non-blocking.
        const ssize_t n = ::read(handle_, buffer.data() + received, count - received);
        if (n > 0) {
            received += static_cast<std::size_t>(n);
        } else if (n == 0) {
            return FramingError::endOfStream();
        } else if (errno == EINTR) {
            continue;
        } else if (wouldBlock(errno)) {
            if (const int error = waitReadable(); error != 0)
                return FramingError::readFailed(error);
        } else {
            return FramingError::readFailed(errno);
        }
    }
    return buffer;
}

Result<Unit, FramingError> FileHandleWriter::write(std::span<const std::uint8_t> bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(handle_, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n == 0) {
            return FramingError::writeFailed(EIO);
        } else if (errno == EINTR) {
            continue;
        } else if (wouldBlock(errno) && waitFor(handle_, POLLOUT)) {
            continue;
        } else {
            return FramingError::writeFailed(errno);
        }
    }
    return Unit{};
}

}  // namespace tavrin::host
