#include "e2e/browsers.h"

#include <stdexcept>

namespace tavrin::host::testing {

std::string httpRequest(int port, const std::string& method, const std::string& target) {
    // Python's standard library is the client: a reply that is not 200, a
    // refused connection or 30 s of silence end it with a traceback on our
    // standard error and a non-zero status.
    static const char* const client =
        "import sys, urllib.request\n"
        "request = urllib.request.Request(sys.argv[2], method=sys.argv[1])\n"
        "sys.stdout.buffer.write(urllib.request.urlopen(request, timeout=30).read())\n";
    tavrin::testing::Child python(
        {.argv = {"python3", "-c", client, method,
                  "http://127.0.0.1:" + std::to_string(port) + target},
         .in = tavrin::testing::Stream::null,
         .out = tavrin::testing::Stream::pipe});
    const std::string body = python.readOut();
    python.wait();
    if (python.exitStatus() != 0)
        throw std::runtime_error("http " + method + " " + target + ": the client failed");
    return body;
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
