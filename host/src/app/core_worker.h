#pragma once
// The thread on which the host makes the core calls that may need the user.
// The main thread owns the user-interface toolkit, and a prompt or a notice
// must stay painted and answer the user while a core call blocks (a card
// reader waiting for its keypad, a listing waiting for a card). So the main
// thread hands such a call to this one thread and, until it is done, serves
// the prompts and notices the call hands back (MainThreadExecutor's
// serveUntil, the one place where the main thread runs handed-over work).
// One call at a time; the thread starts with the first call.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
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

    enum class Ended { finished, failed, stopped };
    struct Outcome {
        Ended ended;
        std::string failure;  // failed: what the work threw
    };

    // Main thread only: runs `work` on the worker thread and serves the
    // hand-overs to the main thread until it is done (finished, or failed
    // with what it threw), or until `stopServing` says so (stopped: `work`
    // may still run; it owns what it needs). `stopServing` is asked after
    // every wake-up of the main thread.
    Outcome run(std::function<void()> work, const std::function<bool()>& stopServing);

    // Main thread only, after run() stopped: true once that work has ended,
    // false when it has not within `limit`.
    bool waitFinished(std::chrono::milliseconds limit);

  private:
    void loop();

    MainThreadExecutor& mainThread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::optional<std::function<void()>> work_;
    bool done_ = false;
    std::optional<std::string> failure_;
    bool stopping_ = false;
    std::thread thread_;  // started by the first run()
};

// What escaped a call: the exception's text, or that it was not one.
std::string describeCurrentException();

}  // namespace tavrin::host
