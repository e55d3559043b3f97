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

void CoreWorker::run(const std::function<void()>& work) {
    {
        std::lock_guard lock(mutex_);
        work_ = &work;
        done_ = false;
    }
    wake_.notify_all();
    mainThread_.serveUntil([this] {
        std::lock_guard lock(mutex_);
        return done_;
    });
}

void CoreWorker::loop() {
    for (;;) {
        const std::function<void()>* work = nullptr;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || work_ != nullptr; });
            if (work_ == nullptr) return;
            work = std::exchange(work_, nullptr);
        }
        (*work)();
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        // Wakes the main thread, which then sees that the work is done.
        mainThread_.post([] {});
    }
}

}  // namespace tavrin::host
