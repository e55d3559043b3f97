#include "support/host_process.h"

#include <thread>

namespace tavrin::host::testing {

ProcessResult runHost(const HostRun& run) {
    ChildSpec spec{.argv = run.launcher, .base = Environment::isolated, .env = run.environment};
    spec.argv.push_back(TAVRIN_BRIDGE_EXE);
    spec.argv.insert(spec.argv.end(), run.arguments.begin(), run.arguments.end());
    spec.env["HOME"] = run.home.string();
    spec.in = spec.out = spec.err = Stream::pipe;
    Child child(spec);

    ProcessResult result;
    std::thread errReader([&] { result.err = drain(child.err()); });
    if (run.closeStdoutEarly) child.closeOut();
    if (run.session) {
        HostSession session(child);
        run.session(session);
    }
    std::thread outReader([&] { result.out = child.readOut(); });
    child.closeIn();
    outReader.join();
    errReader.join();
    child.wait();
    result.exitStatus = child.exitStatus();
    result.signal = child.termSignal();
    return result;
}

}  // namespace tavrin::host::testing
