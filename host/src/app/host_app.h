#pragma once
// The program's entry: the command line alone picks one run mode, in this
// order: an installer subcommand as argument 1; "--render-preview" followed by
// a path; no arguments or only ones beginning with "-" (the management
// application); anything else (the native-messaging host, which a browser
// starts with the caller's origin or the manifest path).

#include <functional>
#include <string>
#include <thread>

#include "bridge/dispatcher_bridge.h"
#include "framing/byte_stream.h"
#include "platform/app_paths.h"

namespace tavrin::host {

class CoreWorker;

// Signals once that a background work item has finished; wait() blocks
// until then. Waiting is required before the signal is destroyed.
class CompletionSignal {
  public:
    explicit CompletionSignal(std::thread worker) : worker_(std::move(worker)) {}
    CompletionSignal(CompletionSignal&&) = default;
    ~CompletionSignal() { wait(); }
    void wait() {
        if (worker_.joinable()) worker_.join();
    }

  private:
    std::thread worker_;
};

// Why the host loop ended.
enum class HostLoopEnd {
    ended,            // the input ended, or a frame could not be read or written
    abandoned,        // the page went away during a prompt; the core call has returned
    callLeftRunning,  // the loop stopped serving a core call that still runs
    failed,           // a call threw; one line on standard error says what
};

class TavrinBridgeHostApp {
  public:
    TavrinBridgeHostApp() = delete;

    // The process's exit status.
    static int main(int argc, char** argv);

    // <application data directory>/consent.json; creates the directory (a
    // failure surfaces later, when the core cannot read or write the file).
    static std::string consentStorePath(const AppPaths& paths);

    // Runs `connectAll` on a background thread and returns at once.
    static CompletionSignal startBackgroundSelfHeal(std::function<void()> connectAll);

    // Reads a request frame, has the bridge answer it, writes the reply frame,
    // until the input ends or a frame cannot be read or written, or until
    // `abandoned` says that a prompt of the request in hand was cancelled
    // because its page has gone (then no reply is written). A request that
    // cannot need the user is answered on this thread; one that may is
    // answered on `worker` while this thread serves its prompts.
    static HostLoopEnd runHostLoop(ByteReader& input, ByteWriter& output, DispatcherBridge& bridge,
                                   CoreWorker& worker, const std::function<bool()>& abandoned);

  private:
    static int runHost(const std::string& executablePath);
};

}  // namespace tavrin::host
