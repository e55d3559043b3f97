#include "child_process.h"

#include <cstdlib>
#include <stdexcept>

namespace tavrin::bench {

std::map<std::string, std::string> hostEnvironment(const std::string& home) {
    std::map<std::string, std::string> env;
    for (const char* name : {"PATH", "LANG", "LC_ALL"}) {
        if (const char* value = std::getenv(name)) env[name] = value;
    }
    env["HOME"] = home;
    env["XDG_CONFIG_HOME"] = home + "/.config";
    env["XDG_DATA_HOME"] = home + "/.local/share";
    return env;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment)
    : child_([&] {
          tavrin::testing::ChildSpec spec{
              .argv = {program}, .base = tavrin::testing::Environment::empty, .env = environment};
          spec.argv.insert(spec.argv.end(), arguments.begin(), arguments.end());
          spec.in = spec.out = tavrin::testing::Stream::pipe;
          return spec;
      }()) {}

std::string ChildProcess::receive() {
    auto reply = child_.receiveFrame();
    if (!reply)
        throw std::runtime_error("reading a reply: the output ended or none within a minute");
    return std::move(*reply);
}

int ChildProcess::finish() {
    child_.closeIn();
    child_.wait();
    return child_.exitStatus();
}

}  // namespace tavrin::bench
