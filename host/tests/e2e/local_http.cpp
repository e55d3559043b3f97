#include "e2e/browsers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sys/time.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tavrin::host::testing {
namespace {

struct Socket {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

std::runtime_error failure(const std::string& step, const std::string& cause) {
    return std::runtime_error("http " + step + ": " + cause);
}

}  // namespace

std::string httpRequest(int port, const std::string& method, const std::string& target) {
    Socket socket;
    if (socket.fd < 0) throw failure("socket", std::strerror(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw failure("connect to port " + std::to_string(port), std::strerror(errno));

    // With Connection: close the reply ends where the stream does.
    const std::string request =
        method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n =
            ::send(socket.fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw failure("send", std::strerror(errno));
        sent += static_cast<std::size_t>(n);
    }
    // The endpoint may keep the connection open whatever the request says:
    // the reply ends after Content-Length bytes of body. A server that stops
    // answering fails the request instead of hanging the test.
    timeval limit{30, 0};
    ::setsockopt(socket.fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string reply;
    std::size_t headerEnd = std::string::npos;
    std::size_t total = std::string::npos;
    char buffer[8192];
    while (total == std::string::npos || reply.size() < total) {
        const ssize_t n = ::recv(socket.fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw failure("receive", std::strerror(errno));
        if (n == 0) break;
        reply.append(buffer, static_cast<std::size_t>(n));
        if (headerEnd == std::string::npos &&
            (headerEnd = reply.find("\r\n\r\n")) != std::string::npos) {
            std::string header = reply.substr(0, headerEnd);
            for (char& c : header)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const std::size_t at = header.find("content-length:");
            if (at != std::string::npos) total = headerEnd + 4 + std::stoul(header.substr(at + 15));
        }
    }
    if (headerEnd == std::string::npos) throw failure("reply", "no header in " + reply);
    const std::string statusLine = reply.substr(0, reply.find("\r\n"));
    if (statusLine.find(" 200 ") == std::string::npos)
        throw failure(method + " " + target, statusLine);
    return reply.substr(headerEnd + 4);
}

std::string percentEncoded(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 0xF];
        }
    }
    return out;
}

}  // namespace tavrin::host::testing
