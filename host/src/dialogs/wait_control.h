#pragma once
// The hand-over between a notice shown while the core waits for the user at
// the card reader (run by the user-interface module on the main thread) and
// the thread that waits (which asks whether it is shown, whether the user
// cancelled it, and closes it). The host's own: the module reaches it only
// through the C functions the host's UiModule hands it (TavrinUiWaitCalls),
// so that only the host's C++ runtime ever touches these locks.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

namespace tavrin::host {

class WaitControl {
  public:
    // --- the waiting thread ---

    // Closes the notice, or keeps it from appearing when it is not shown yet.
    void requestClose() {
        // Under the lock: the module cannot detach, and so destroy what the
        // closer refers to, while it runs. A closer only posts an event.
        std::lock_guard lock(mutex_);
        closeRequested_ = true;
        if (closer_) closer_();
    }
    bool cancelled() const {
        std::lock_guard lock(mutex_);
        return cancelled_;
    }
    // Whether the notice came on screen; waits until that is known.
    bool waitShown() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return shown_.has_value(); });
        return *shown_;
    }
    // Returns once the notice is gone from the screen (or never came).
    void waitFinished() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return finished_; });
    }

    // --- the notice, on the main thread (the module through the host's calls) ---

    // `closer` closes the shown notice from any thread. False, without
    // keeping it, when a close was requested already.
    bool attach(std::function<void()> closer) {
        std::lock_guard lock(mutex_);
        if (closeRequested_) return false;
        closer_ = std::move(closer);
        return true;
    }
    void detach() {
        std::lock_guard lock(mutex_);
        closer_ = nullptr;
    }
    void reportShown(bool shown) {
        std::lock_guard lock(mutex_);
        if (!shown_) shown_ = shown;
        changed_.notify_all();
    }
    void markCancelled() {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    void finish() {
        std::lock_guard lock(mutex_);
        if (!shown_) shown_ = false;
        finished_ = true;
        closer_ = nullptr;
        changed_.notify_all();
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> closer_;
    bool closeRequested_ = false;
    bool cancelled_ = false;
    std::optional<bool> shown_;
    bool finished_ = false;
};

}  // namespace tavrin::host
