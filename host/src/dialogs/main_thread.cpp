#include "dialogs/main_thread.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tavrin::host {

MainThreadExecutor::MainThreadExecutor() : mainThread_(std::this_thread::get_id()) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    for (int fd : fds) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
}

MainThreadExecutor::~MainThreadExecutor() {
    close();
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

bool MainThreadExecutor::runSync(const std::function<void()>& work) {
    if (isMainThread()) {
        work();
        return true;
    }
    Task task{&work, false, false, {}};
    std::unique_lock lock(mutex_);
    if (closed_) return false;
    enqueue(&task);
    finished_.wait(lock, [&] { return task.done; });
    if (task.failure) std::rethrow_exception(task.failure);
    return task.ran;
}

// With the lock held.
void MainThreadExecutor::enqueue(Task* task) {
    queue_.push_back(task);
    wake();
}

void MainThreadExecutor::wake() {
    // A full pipe already signals a wake-up; nothing is lost.
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &byte, 1);
}

bool MainThreadExecutor::post(std::function<void()> work) {
    auto task = std::make_unique<Task>();
    task->owned = std::make_unique<std::function<void()>>(std::move(work));
    task->work = task->owned.get();
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    enqueue(task.release());
    return true;
}

void MainThreadExecutor::serveUntil(const std::function<bool()>& done) {
    while (!done()) {
        pollfd entry{wakeRead_, POLLIN, 0};
        if (::poll(&entry, 1, -1) < 0 && errno != EINTR) return;
        runPending();
    }
}

void MainThreadExecutor::runPending() {
    std::deque<Task*> batch;
    {
        std::lock_guard lock(mutex_);
        char drained[64];
        while (::read(wakeRead_, drained, sizeof drained) > 0) {
        }
        batch.swap(queue_);
    }
    for (Task* task : batch) {
        if (task->owned) {
            // Posted work: nobody waits for it, so nothing may escape it.
            const std::unique_ptr<Task> owned(task);
            try {
                (*task->work)();
            } catch (...) {
            }
            continue;
        }
        std::exception_ptr failure;
        try {
            (*task->work)();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(mutex_);
        task->failure = failure;
        task->ran = true;
        task->done = true;
        finished_.notify_all();
    }
}

void MainThreadExecutor::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (Task* task : queue_) {
        if (task->owned) {
            delete task;
        } else {
            task->done = true;
        }
    }
    queue_.clear();
    finished_.notify_all();
}

}  // namespace tavrin::host
