#pragma once
// The host's side of a wait notice as the module's runner sees it: reports
// and the closer go through the C functions the host passed
// (TavrinUiWaitCalls); the host's locks stay in the host.

#include <functional>

#include "ui_interface/ui_module_abi.h"

namespace tavrin::host::ui {

class NoticeControl {
  public:
    explicit NoticeControl(const TavrinUiWaitCalls& calls) : calls_(calls) {}
    NoticeControl(const NoticeControl&) = delete;
    NoticeControl& operator=(const NoticeControl&) = delete;
    ~NoticeControl() { detach(); }

    void reportShown(bool shown) { calls_.report_shown(calls_.context, shown ? 1 : 0); }
    void markCancelled() { calls_.mark_cancelled(calls_.context); }
    // `closer` closes the shown notice from any thread. False, without
    // keeping it, when the host asked for the close already.
    bool attach(std::function<void()> closer);
    void detach();

  private:
    static void close(void* self) noexcept;

    const TavrinUiWaitCalls& calls_;
    std::function<void()> closer_;
    bool attached_ = false;
};

}  // namespace tavrin::host::ui
