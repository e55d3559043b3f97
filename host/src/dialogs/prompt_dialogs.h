#pragma once
// The prompts as modal alerts: each operation builds a fresh alert, has it
// run on the main thread by `runner` and maps the response. The first
// button is the positive answer; any other response, and an alert that could
// not be shown, the negative one (with one line on standard error saying why).

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "dialogs/alert_running.h"
#include "dialogs/dialog_interaction.h"
#include "dialogs/main_thread.h"

namespace tavrin::host {

class PromptDialogs final : public DialogInteraction {
  public:
    // `mainThread`: where the alerts run; calls from other threads wait
    // until it serves them.
    PromptDialogs(std::shared_ptr<AlertRunning> runner,
                  std::shared_ptr<MainThreadExecutor> mainThread);

    bool requestConsent(std::string_view origin, std::string_view purposesJson) override;
    std::optional<Pin> requestPin(std::string_view origin, std::string_view certId,
                                  std::uint32_t hashCount) override;
    bool requestSignConfirmation(std::string_view origin, std::string_view certId,
                                 std::uint32_t hashCount) override;
    // Runs the notice on the main thread while the caller (another thread)
    // waits at the reader; on the main thread itself nothing is shown.
    std::unique_ptr<WaitNotice> openWait(WaitKind kind, std::string_view origin,
                                         std::uint32_t hashCount) override;

    // Any thread: the page that asked has gone (the browser closed the
    // connection). The prompt or notice that is open closes and counts as
    // cancelled, whatever was typed or clicked in it; every later one counts
    // as cancelled at once, shown to nobody. No line on standard error for
    // either: the host says once why it stops.
    void abandon();
    // True once a prompt or notice has been cancelled that way: the request
    // it belongs to must not be answered. Setting it wakes the main thread.
    bool abandonedPrompt() const { return abandonedPrompt_.load(); }

    // Before any prompt: `start` runs once, on the thread that asks, right
    // before the first prompt or notice is shown. The host starts watching
    // its input there, so that a host that shows nothing never pays for it.
    void beforeFirstPrompt(std::function<void()> start) { beforeFirstPrompt_ = std::move(start); }

    const std::shared_ptr<AlertRunning> runner;

  private:
    // `outcome` names the negative answer for the diagnostic line.
    AlertResponse present(const Alert& alert, const char* prompt, const char* outcome);
    // True, noting the abandoned prompt, once abandon() has been called.
    bool pageHasGone();
    void promptComing();

    std::shared_ptr<MainThreadExecutor> mainThread_;
    std::atomic<bool> pageGone_{false};
    std::atomic<bool> abandonedPrompt_{false};
    // Notices handed to the main thread and not yet finished there.
    std::atomic<int> openNotices_{0};
    std::function<void()> beforeFirstPrompt_;
    std::once_flag firstPrompt_;
};

}  // namespace tavrin::host
