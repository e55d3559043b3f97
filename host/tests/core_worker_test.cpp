// The hand-over between the main thread and the worker that makes the core
// calls: replies in order, prompts and notices run on the main thread while
// it serves the call, what a call throws reported, and a call left running
// when the main thread stops serving it.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/core_worker.h"
#include "dialogs/main_thread.h"
#include "dialogs/prompt_dialogs.h"

namespace tavrin::host {
namespace {

const auto keepServing = [] { return false; };

class CoreWorkerTest : public ::testing::Test {
  protected:
    MainThreadExecutor mainThread;
    CoreWorker worker{mainThread};
};

TEST_F(CoreWorkerTest, CallsEndInOrderAndTheirPromptsAndNoticesRunOnTheMainThread) {
    std::vector<std::string> events;  // each written while the other thread waits
    for (int call = 0; call < 3; ++call) {
        const auto outcome = worker.run(
            [&, call] {
                events.push_back("call " + std::to_string(call));
                if (call == 1) {
                    // A prompt: the caller waits for its answer.
                    const bool ran = mainThread.runSync([&] {
                        events.push_back(mainThread.isMainThread() ? "prompt on main" : "prompt");
                    });
                    events.push_back(ran ? "answered" : "refused");
                }
                if (call == 2) {
                    // A notice: handed over without waiting, and gone before
                    // the call returns its reply.
                    std::mutex mutex;
                    std::condition_variable closed;
                    bool gone = false;
                    mainThread.post([&] {
                        std::lock_guard lock(mutex);
                        events.push_back(mainThread.isMainThread() ? "notice on main" : "notice");
                        gone = true;
                        closed.notify_all();
                    });
                    std::unique_lock lock(mutex);
                    closed.wait(lock, [&] { return gone; });
                }
            },
            keepServing);
        EXPECT_EQ(outcome.ended, CoreWorker::Ended::finished);
        events.push_back("reply " + std::to_string(call));
    }
    EXPECT_EQ(events,
              (std::vector<std::string>{"call 0", "reply 0", "call 1", "prompt on main", "answered",
                                        "reply 1", "call 2", "notice on main", "reply 2"}));
}

TEST_F(CoreWorkerTest, WhatACallThrowsIsReportedAndTheNextCallRuns) {
    auto outcome = worker.run([] { throw std::runtime_error("reply buffer lost"); }, keepServing);
    EXPECT_EQ(outcome.ended, CoreWorker::Ended::failed);
    EXPECT_EQ(outcome.failure, "reply buffer lost");

    outcome = worker.run([] { throw 7; }, keepServing);
    EXPECT_EQ(outcome.ended, CoreWorker::Ended::failed);
    EXPECT_EQ(outcome.failure, "an exception of unknown type");

    bool ran = false;
    outcome = worker.run([&] { ran = true; }, keepServing);
    EXPECT_EQ(outcome.ended, CoreWorker::Ended::finished);
    EXPECT_TRUE(ran);
}

TEST_F(CoreWorkerTest, AServingStoppedLeavesTheCallRunningAndReleasesItsPrompts) {
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    std::atomic<int> promptAnswered{-1};
    const auto outcome = worker.run(
        [&] {
            started = true;
            mainThread.wake();
            while (!release)
                std::this_thread::yield();
            // Nobody serves the main thread any more: the prompt is refused.
            promptAnswered = mainThread.runSync([] {}) ? 1 : 0;
        },
        [&] { return started.load(); });
    EXPECT_EQ(outcome.ended, CoreWorker::Ended::stopped);
    mainThread.close();
    EXPECT_FALSE(worker.waitFinished(std::chrono::milliseconds(1)));
    release = true;
    EXPECT_TRUE(worker.waitFinished(std::chrono::minutes(1)));
    EXPECT_EQ(promptAnswered, 0);
}

// A prompt asked for while a card-reader notice is open would wait behind
// the notice's own loop: it is refused instead.
class NoticeRunner final : public AlertRunning {
  public:
    std::atomic<int> alerts{0};
    AlertResponse runAlert(const Alert&) override {
        ++alerts;
        AlertResponse yes;
        yes.response = firstButtonResponse;
        return yes;
    }
    // Shown until the waiting thread closes it.
    AlertResponse runWaitNotice(const Alert&, WaitControl& control) override {
        std::mutex mutex;
        std::condition_variable changed;
        bool closed = false;
        if (!control.attach([&] {
                std::lock_guard lock(mutex);
                closed = true;
                changed.notify_all();
            })) {
            control.reportShown(false);
            return {};
        }
        control.reportShown(true);
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return closed; });
        lock.unlock();
        control.detach();
        return {};
    }
};

TEST_F(CoreWorkerTest, APromptDuringANoticeIsRefusedAndTheNoticeCloses) {
    auto mainThreadPtr = std::shared_ptr<MainThreadExecutor>(&mainThread, [](auto*) {});
    auto runner = std::make_shared<NoticeRunner>();
    PromptDialogs dialogs(runner, mainThreadPtr);
    bool granted = true;
    const auto outcome = worker.run(
        [&] {
            auto notice = dialogs.openWait(WaitKind::Card, "https://podpis.example.cz", 1);
            ASSERT_NE(notice, nullptr);
            granted = dialogs.requestConsent("https://podpis.example.cz", R"(["sign"])");
        },
        keepServing);
    EXPECT_EQ(outcome.ended, CoreWorker::Ended::finished);
    EXPECT_FALSE(granted);
    EXPECT_EQ(runner->alerts, 0);
}

}  // namespace
}  // namespace tavrin::host
