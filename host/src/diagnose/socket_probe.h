#pragma once
// Whether a service accepts a connection, without speaking its protocol.

#include <chrono>
#include <string>

namespace tavrin::host {

// Connects to the Unix socket at `path` ("@name" for an abstract one).
// Empty when it accepted, else the reason (e.g. "No such file or directory").
std::string connectUnixSocket(const std::string& path);

// Connects over TCP within `bound`; empty when it accepted, else the reason.
std::string connectTcp(const std::string& host, int port, std::chrono::milliseconds bound);

}  // namespace tavrin::host
