#include "app/core_worker.h"

#include <utility>

namespace tavrin::host {

CoreWorker::CoreWorker(MainThreadExecutor& mainThread)
    : mainThread_(mainThread), thread_([this] { loop(); }) {}

CoreWorker::~CoreWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool CoreWorker::run(std::function<void()> work, const std::function<bool()>& stopServing) {
    {
        std::lock_guard lock(mutex_);
        work_ = std::move(work);
        done_ = false;
    }
    wake_.notify_all();
    bool finished = false;
    mainThread_.serveUntil([&] {
        {
            std::lock_guard lock(mutex_);
            finished = done_;
        }
        return finished || stopServing();
    });
    return finished;
}

bool CoreWorker::waitFinished(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return finished_.wait_for(lock, limit, [this] { return done_; });
}

void CoreWorker::loop() {
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || work_.has_value(); });
            if (!work_) return;
            work = std::move(*work_);
            work_.reset();
        }
        work();
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        finished_.notify_all();
        // Wakes the main thread, which then sees that the work is done.
        mainThread_.post([] {});
    }
}

}  // namespace tavrin::host
