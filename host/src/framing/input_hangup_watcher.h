#pragma once
// Tells when the writer of an input has gone (the browser closed the host's
// standard input because the page or its port went away) without reading
// from the input. poll() reports a hang-up even when asked for no event at
// all, so a request still waiting in the pipe stays there for the host's
// reader, and a hang-up is seen while the reader is not reading (a prompt
// is open). Sockets report their peer's shutdown as POLLRDHUP, asked for
// here; regular files and terminals never hang up and are watched in vain.

#include <functional>
#include <thread>

namespace tavrin::host {

class InputHangupWatcher {
  public:
    // Starts a thread that watches `handle` (not owned, not read) and runs
    // `onHangup` on it once, when the writer has gone. Throws
    // std::system_error when the thread's stop pipe cannot be made.
    InputHangupWatcher(int handle, std::function<void()> onHangup);
    // Stops watching; waits for the thread, and so for an `onHangup` that runs.
    ~InputHangupWatcher();
    InputHangupWatcher(const InputHangupWatcher&) = delete;
    InputHangupWatcher& operator=(const InputHangupWatcher&) = delete;

  private:
    void watch();

    int handle_;
    std::function<void()> onHangup_;
    int stopRead_ = -1;
    int stopWrite_ = -1;
    std::thread thread_;  // last: started once the rest is ready
};

}  // namespace tavrin::host
