#include "diagnose/socket_probe.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavrin::host {

std::string connectUnixSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return "not a socket path";
    std::memcpy(address.sun_path, path.data(), path.size());
    socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    if (path.front() == '@') {
        address.sun_path[0] = '\0';  // the abstract namespace has no file
    } else {
        ++length;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::strerror(errno);
    const int connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length);
    const int error = errno;
    ::close(fd);
    return connected == 0 ? std::string() : std::strerror(error);
}

std::string connectTcp(const std::string& host, int port, std::chrono::milliseconds bound) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
        rc != 0) {
        return ::gai_strerror(rc);
    }
    std::string reason = "no address";
    for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        const int fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                                entry->ai_protocol);
        if (fd < 0) continue;
        int error = 0;
        if (::connect(fd, entry->ai_addr, entry->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                pollfd wait{fd, POLLOUT, 0};
                if (::poll(&wait, 1, static_cast<int>(bound.count())) == 1) {
                    socklen_t size = sizeof error;
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
                } else {
                    error = ETIMEDOUT;
                }
            }
        }
        ::close(fd);
        if (error == 0) {
            reason.clear();
            break;
        }
        reason = std::strerror(error);
    }
    ::freeaddrinfo(found);
    return reason;
}

}  // namespace tavrin::host
