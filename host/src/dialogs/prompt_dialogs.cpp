#include "dialogs/prompt_dialogs.h"

#include <cstdio>

#include "dialogs/alert_texts.h"

namespace tavrin::host {
namespace {

class ShownWaitNotice final : public WaitNotice {
  public:
    explicit ShownWaitNotice(std::shared_ptr<WaitControl> control) : control_(std::move(control)) {}
    ~ShownWaitNotice() override {
        control_->requestClose();
        control_->waitFinished();
    }
    bool cancelled() const override { return control_->cancelled(); }

  private:
    std::shared_ptr<WaitControl> control_;
};

}  // namespace

PromptDialogs::PromptDialogs(std::shared_ptr<AlertRunning> runnerIn,
                             std::shared_ptr<MainThreadExecutor> mainThread)
    : runner(std::move(runnerIn)), mainThread_(std::move(mainThread)) {}

void PromptDialogs::abandon() {
    pageGone_.store(true);
    runner->abandon();
}

bool PromptDialogs::pageHasGone() {
    if (!pageGone_.load()) return false;
    // The main thread may be waiting for hand-overs: wake it to see this.
    if (!abandonedPrompt_.exchange(true)) mainThread_->wake();
    return true;
}

void PromptDialogs::promptComing() {
    std::call_once(firstPrompt_, [this] {
        if (beforeFirstPrompt_) beforeFirstPrompt_();
    });
}

AlertResponse PromptDialogs::present(const Alert& alert, const char* prompt, const char* outcome) {
    promptComing();
    if (pageHasGone()) return {};
    // A notice runs its own modal loop on the main thread: a prompt handed
    // over now would wait behind it, and the call that waits for the notice
    // behind the prompt. The core never asks for both at once; should it,
    // the prompt is refused rather than the host stopping.
    if (openNotices_.load() > 0) {
        std::fprintf(stderr,
                     "tavrin-bridge: the %s was asked for while a card reader notice is "
                     "open; %s\n",
                     prompt, outcome);
        return {};
    }
    AlertResponse response;
    const bool ran = mainThread_->runSync([&] { response = runner->runAlert(alert); });
    // Whatever the prompt answered, nobody is left to act for.
    if (pageHasGone()) return {};
    if (!ran) response = AlertResponse::notShown("the host is shutting down");
    if (!response.notShownReason.empty()) {
        std::fprintf(stderr, "tavrin-bridge: the %s could not be shown (%s); %s\n", prompt,
                     response.notShownReason.c_str(), outcome);
    }
    return response;
}

bool PromptDialogs::requestConsent(std::string_view origin, std::string_view purposesJson) {
    const auto response =
        present(AlertTexts::consent(origin, purposesJson), "consent prompt", "consent refused");
    return response.response == firstButtonResponse;
}

std::optional<Pin> PromptDialogs::requestPin(std::string_view origin, std::string_view,
                                             std::uint32_t hashCount) {
    auto response =
        present(AlertTexts::pin(origin, hashCount), "PIN prompt", "PIN entry cancelled");
    if (response.response != firstButtonResponse) return std::nullopt;
    // A shown field always reports its text; an empty one is an empty PIN.
    if (!response.fieldText) return Pin();
    return std::move(response.fieldText);
}

bool PromptDialogs::requestSignConfirmation(std::string_view origin, std::string_view,
                                            std::uint32_t hashCount) {
    const auto response = present(AlertTexts::signConfirmation(origin, hashCount),
                                  "signature confirmation", "signature cancelled");
    return response.response == firstButtonResponse;
}

std::unique_ptr<WaitNotice> PromptDialogs::openWait(WaitKind kind, std::string_view origin,
                                                    std::uint32_t hashCount) {
    // The main thread shows the notice while this one waits: from the main
    // thread itself nobody would serve it.
    if (mainThread_->isMainThread()) return nullptr;
    promptComing();
    if (pageHasGone()) return nullptr;
    const Alert alert = kind == WaitKind::PinPad ? AlertTexts::pinPadNotice(origin, hashCount)
                                                 : AlertTexts::insertCard(origin, hashCount);
    auto control = std::make_shared<WaitControl>();
    // Run by the main thread while this object serves the host loop.
    ++openNotices_;
    const bool queued = mainThread_->post([this, alert, control] {
        const AlertResponse response = runner->runWaitNotice(alert, *control);
        if (pageHasGone()) {
            control->markCancelled();  // the core stops waiting
        } else if (!response.notShownReason.empty()) {
            std::fprintf(stderr, "tavrin-bridge: the card reader notice could not be shown (%s)\n",
                         response.notShownReason.c_str());
        }
        if (response.response == firstButtonResponse) control->markCancelled();
        --openNotices_;
        control->finish();
    });
    if (!queued) --openNotices_;
    if (!queued || !control->waitShown()) {
        if (queued) control->waitFinished();
        return nullptr;
    }
    return std::make_unique<ShownWaitNotice>(control);
}

}  // namespace tavrin::host
