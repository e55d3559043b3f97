#pragma once
// The host, or the echo host, run over pipes and spoken to in
// native-messaging frames: the shared child process with the benchmarks'
// errors (exceptions naming the step) and environment.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace tavrin::bench {

class ChildProcess {
  public:
    // Starts `program` with `arguments` (after argument 0) in an environment
    // of only `environment`. Throws std::runtime_error naming the step that
    // failed.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment);

    pid_t pid() const { return child_.pid(); }
    void send(const std::string& payload) { child_.send(tavrin::testing::frame(payload)); }
    // The next reply's payload; throws when the output ends or nothing
    // complete arrives within a minute.
    std::string receive();
    // Closes the child's input and waits for it; returns its exit status,
    // or -1 when it did not exit normally.
    int finish();
    // Ends the child with SIGKILL and reaps it.
    void kill() { child_.stop(); }

  private:
    tavrin::testing::Child child_;
};

// An environment for the host: PATH and the locale from ours, HOME and the
// XDG folders inside `home`, never a display.
std::map<std::string, std::string> hostEnvironment(const std::string& home);

}  // namespace tavrin::bench
