#pragma once
// Runs the real tavrin-bridge executable with pipes on its three standard
// streams, in an environment whose HOME points into a test's temporary home
// and that never reaches the developer's display.

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace tavrin::host::testing {

using namespace tavrin::testing;

struct ProcessResult {
    int exitStatus = -1;  // -1 when the process did not exit normally
    int signal = 0;       // the signal that ended it, if any
    std::string out;
    std::string err;
};

// A conversation with a running host, one frame at a time.
class HostSession {
  public:
    explicit HostSession(Child& child) : child_(child) {}
    pid_t pid() const { return child_.pid(); }
    void send(const std::string& payload) { writeRaw(frame(payload)); }
    // A "sign" request (id "s") of `origin` with `certId` for SHA-256
    // `hashes`; returns them.
    std::vector<std::vector<std::uint8_t>> sendSign(const std::string& origin,
                                                    const std::string& certId,
                                                    std::vector<std::vector<std::uint8_t>> hashes,
                                                    const std::string& scheme = "rsa-pkcs1");
    // Bytes as they are, framed or not; as many as the host takes.
    void writeRaw(const std::string& bytes) { writeAll(child_.in(), bytes); }
    // The next reply's payload; "<no reply>" when the output ends first or
    // nothing complete arrives for a minute.
    std::string receive() { return child_.receiveFrame().value_or("<no reply>"); }
    // Closes the host's standard input, as a browser does when the page or
    // its port goes away; true once the host has exited, false (after
    // killing it) when it is still there after `limit`.
    bool hangUp(std::chrono::seconds limit = std::chrono::seconds(60)) {
        child_.closeIn();
        if (child_.wait(limit)) return true;
        child_.signal(SIGKILL);
        return false;
    }

  private:
    Child& child_;
};

struct HostRun {
    std::vector<std::string> arguments;  // after argument 0
    std::filesystem::path home;
    // Talks to the host while it runs; then its standard input is closed, and
    // whatever the host writes afterwards lands in ProcessResult::out.
    std::function<void(HostSession&)> session = {};
    // Close our end of the child's standard output before the session.
    bool closeStdoutEarly = false;
    // Variables set for the child on top of the isolated environment.
    std::map<std::string, std::string> environment = {};
    // A program (found on PATH) that runs the executable, with its own
    // arguments before it; e.g. {"setpriv", "--reuid=65534", ...}.
    std::vector<std::string> launcher = {};
};

ProcessResult runHost(const HostRun& run);

}  // namespace tavrin::host::testing
