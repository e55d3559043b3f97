#pragma once
// Starts consent_worker processes for the fault tests: in the background (to
// be killed or waited for) or to completion with their output.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tavrin::host::testing {

struct WorkerResult {
    int exitStatus = -1;  // -1 when the process did not exit normally
    std::string out;
};

class ConsentWorkers {
  public:
    // `home` becomes the workers' HOME; it must hold no identity database.
    ConsentWorkers(std::filesystem::path consentPath, std::filesystem::path home);

    // Starts `consent_worker CONSENT_PATH args...` with its output discarded.
    pid_t start(const std::vector<std::string>& args) const;
    // Waits for a started worker; its exit status, or -1.
    static int wait(pid_t pid);
    // Runs a worker to completion and keeps what it printed.
    WorkerResult run(const std::vector<std::string>& args) const;

  private:
    pid_t spawn(const std::vector<std::string>& args, int stdoutFd) const;

    std::filesystem::path consentPath_;
    std::filesystem::path home_;
};

}  // namespace tavrin::host::testing
