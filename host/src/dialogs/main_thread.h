#pragma once
// Hands work to the host's main thread and waits for it. The prompts must
// run on the main thread (the one that owns the user-interface toolkit);
// the main thread runs handed-over work in serveUntil() while it waits for a
// core call on the worker thread (app/core_worker.h), and at no other time.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tavrin::host {

class MainThreadExecutor {
  public:
    // The constructing thread becomes the main thread.
    MainThreadExecutor();
    ~MainThreadExecutor();
    MainThreadExecutor(const MainThreadExecutor&) = delete;
    MainThreadExecutor& operator=(const MainThreadExecutor&) = delete;

    bool isMainThread() const { return std::this_thread::get_id() == mainThread_; }

    // Runs `work` on the main thread: at once when called there, otherwise
    // queued and waited for without a time limit. False, without running it,
    // when the executor has been closed (before or while waiting). An
    // exception thrown by `work` reaches the caller.
    bool runSync(const std::function<void()>& work);

    // Queues `work` for the main thread and returns at once. False, dropping
    // it, when the executor has been closed.
    bool post(std::function<void()> work);

    // Main thread only: runs handed-over work until `done` is true; `done`
    // is checked after each wake-up (wake() or post() from the thread that
    // ends the wait wakes it).
    void serveUntil(const std::function<bool()>& done);

    // Any thread: wakes serveUntil() to check its condition again.
    void wake();

    // Refuses every queued and every later hand-over: nobody will run them
    // once the main thread has stopped serving (the host loop has ended).
    void close();

  private:
    // Main thread only: runs every queued item.
    void runPending();

    struct Task {
        const std::function<void()>* work;
        bool done = false;
        bool ran = false;
        std::exception_ptr failure;
        // Set for posted work: the task owns it, and nobody waits for it.
        std::unique_ptr<std::function<void()>> owned = {};
    };
    void enqueue(Task* task);

    std::thread::id mainThread_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::deque<Task*> queue_;
    bool closed_ = false;
};

}  // namespace tavrin::host
