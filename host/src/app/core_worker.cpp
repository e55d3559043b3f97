#include "app/core_worker.h"

#include <exception>
#include <utility>

namespace tavrin::host {

std::string describeCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "an exception of unknown type";
    }
}

CoreWorker::CoreWorker(MainThreadExecutor& mainThread) : mainThread_(mainThread) {}

CoreWorker::~CoreWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

CoreWorker::Outcome CoreWorker::run(std::function<void()> work,
                                    const std::function<bool()>& stopServing) {
    {
        std::lock_guard lock(mutex_);
        work_ = std::move(work);
        done_ = false;
        failure_.reset();
    }
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { loop(); });
    } else {
        wake_.notify_all();
    }
    bool finished = false;
    mainThread_.serveUntil([&] {
        {
            std::lock_guard lock(mutex_);
            finished = done_;
        }
        return finished || stopServing();
    });
    if (!finished) return {Ended::stopped, {}};
    std::lock_guard lock(mutex_);
    if (failure_) return {Ended::failed, *failure_};
    return {Ended::finished, {}};
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
        // Nothing may escape this thread: it would end the process.
        std::optional<std::string> failure;
        try {
            work();
        } catch (...) {
            failure = describeCurrentException();
        }
        {
            std::lock_guard lock(mutex_);
            done_ = true;
            failure_ = std::move(failure);
        }
        finished_.notify_all();
        // The main thread then sees that the work is done.
        mainThread_.wake();
    }
}

}  // namespace tavrin::host
