#pragma once
// Runs the real tavrin-bridge executable with pipes on its three standard
// streams, in an environment whose HOME and XDG folders point into a test's
// temporary home.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

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

struct HostRun {
    std::vector<std::string> arguments;  // after argument 0
    std::filesystem::path home;
    // Writes to the child's standard input (closed afterwards). Default: nothing.
    std::function<void(int stdinFd)> feed;
    // Close our end of the child's standard output before reading anything.
    bool closeStdoutEarly = false;
};

ProcessResult runHost(const HostRun& run);

// Writes all of `bytes` to `fd`.
void writeAll(int fd, const std::string& bytes);

}  // namespace tavrin::host::testing
