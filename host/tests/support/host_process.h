#pragma once
// Runs the real tavrin-bridge executable with pipes on its three standard
// streams, in an environment whose HOME and XDG folders point into a test's
// temporary home.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tavrin::host::testing {

struct ProcessResult {
    int exitStatus = -1;  // -1 when the process did not exit normally
    int signal = 0;       // the signal that ended it, if any
    std::string out;
    std::string err;
};

// One length-prefixed frame.
std::string frame(const std::string& payload);
// The payloads of the frames in `stream`; a trailing partial frame is kept
// as the last element prefixed with "<partial>".
std::vector<std::string> unframe(const std::string& stream);

// A conversation with a running host, one frame at a time.
class HostSession {
  public:
    HostSession(pid_t pid, int stdinFd, int stdoutFd) : pid_(pid), in_(stdinFd), out_(stdoutFd) {}
    pid_t pid() const { return pid_; }
    void send(const std::string& payload);
    // The next reply's payload; "<end>" when the output ends first, or
    // "<timeout>" when nothing complete arrives for a minute.
    std::string receive();

  private:
    pid_t pid_;
    int in_;
    int out_;
};

struct HostRun {
    std::vector<std::string> arguments;  // after argument 0
    std::filesystem::path home;
    // Writes to the child's standard input (closed afterwards). Default: nothing.
    std::function<void(int stdinFd)> feed = {};
    // Close our end of the child's standard output before reading anything.
    bool closeStdoutEarly = false;
    // Variables set for the child. DISPLAY, WAYLAND_DISPLAY and
    // QT_QPA_PLATFORM are never inherited, so that no test shows a prompt on
    // the developer's screen.
    std::map<std::string, std::string> environment = {};
    // Instead of `feed`: talks to the host while it runs; whatever the host
    // writes afterwards lands in ProcessResult::out.
    std::function<void(HostSession&)> session = {};
    // A program (found on PATH) that runs the executable, with its own
    // arguments before it; e.g. {"setpriv", "--reuid=65534", ...}.
    std::vector<std::string> launcher = {};
};

ProcessResult runHost(const HostRun& run);

// Writes all of `bytes` to `fd`.
void writeAll(int fd, const std::string& bytes);

}  // namespace tavrin::host::testing
