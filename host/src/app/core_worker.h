#pragma once
// The thread on which the host makes its core calls. The main thread owns
// the user-interface toolkit, and a prompt or a notice must stay painted and
// answer the user while a core call blocks (a card reader waiting for its
// keypad, a listing waiting for a card). So the main thread hands each
// request to this one thread and, until the reply is there, runs the prompts
// and notices the core asks for. One request at a time, replies in order.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "dialogs/main_thread.h"

namespace tavrin::host {

class CoreWorker {
  public:
    explicit CoreWorker(MainThreadExecutor& mainThread);
    ~CoreWorker();
    CoreWorker(const CoreWorker&) = delete;
    CoreWorker& operator=(const CoreWorker&) = delete;

    // Main thread only: runs `work` on the worker thread and serves the
    // hand-overs to the main thread until it is done.
    void run(const std::function<void()>& work);

  private:
    void loop();

    MainThreadExecutor& mainThread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    const std::function<void()>* work_ = nullptr;
    bool done_ = false;
    bool stopping_ = false;
    std::thread thread_;  // last: started once the rest is ready
};

}  // namespace tavrin::host
