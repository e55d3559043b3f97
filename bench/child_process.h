#pragma once
// A child process with pipes on its standard streams, spoken to in
// native-messaging frames. Used to time and measure the real executable and
// the echo host alike.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace tavrin::bench {

class ChildProcess {
  public:
    // Starts `program` with `arguments` (after argument 0) in an environment
    // of only `environment`. Throws std::runtime_error naming the step that
    // failed.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    void send(const std::string& payload);
    // The next reply's payload; throws when the output ends or nothing
    // complete arrives within a minute.
    std::string receive();
    // Closes the child's input and waits for it; returns its exit status,
    // or -1 when it did not exit normally.
    int finish();
    // Ends the child with SIGKILL and reaps it.
    void kill();

  private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string pending_;
};

// A length-prefixed frame.
std::string frame(const std::string& payload);

// An environment for the host: PATH and the locale from ours, HOME and the
// XDG folders inside `home`, never a display.
std::map<std::string, std::string> hostEnvironment(const std::string& home);

}  // namespace tavrin::bench
