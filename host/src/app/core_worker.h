#pragma once
// The thread on which the host makes its core calls. The main thread owns
// the user-interface toolkit, and a prompt or a notice must stay painted and
// answer the user while a core call blocks (a card reader waiting for its
// keypad, a listing waiting for a card). So the main thread hands each
// request to this one thread and, until the reply is there, runs the prompts
// and notices the core asks for. One request at a time, replies in order.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "dialogs/main_thread.h"

namespace tavrin::host {

class CoreWorker {
  public:
    explicit CoreWorker(MainThreadExecutor& mainThread);
    // Waits for the work in hand: a call that never returns keeps it waiting.
    ~CoreWorker();
    CoreWorker(const CoreWorker&) = delete;
    CoreWorker& operator=(const CoreWorker&) = delete;

    // Main thread only: runs `work` on the worker thread and serves the
    // hand-overs to the main thread until it is done (true), or until
    // `stopServing` says so (false: `work` may still run; it owns what it
    // needs). `stopServing` is asked after every wake-up of the main thread.
    bool run(std::function<void()> work, const std::function<bool()>& stopServing);

    // Main thread only, after run() returned false: true once that work has
    // ended, false when it has not within `limit`.
    bool waitFinished(std::chrono::milliseconds limit);

  private:
    void loop();

    MainThreadExecutor& mainThread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::optional<std::function<void()>> work_;
    bool done_ = false;
    bool stopping_ = false;
    std::thread thread_;  // last: started once the rest is ready
};

}  // namespace tavrin::host
