#include "ui_module/ui_module.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <exception>
#include <string_view>
#include <vector>

#include "common/secret_pages.h"
#include "ui_module/management_calls.h"

namespace tavrin::host {
namespace {

TavrinUiText textOf(std::string_view text) {
    return {text.data(), text.size()};
}

int32_t styleOf(AlertStyle style) {
    switch (style) {
        case AlertStyle::warning:
            return TAVRIN_UI_STYLE_WARNING;
        case AlertStyle::critical:
            return TAVRIN_UI_STYLE_CRITICAL;
        case AlertStyle::informational:
            break;
    }
    return TAVRIN_UI_STYLE_INFORMATIONAL;
}

// An alert as the C struct, viewing `alert`, which must outlive it.
class CAlert {
  public:
    explicit CAlert(const Alert& alert) {
        for (const std::string& title : alert.buttons)
            buttons_.push_back(textOf(title));
        value_ = {textOf(alert.messageText),
                  textOf(alert.informativeText),
                  styleOf(alert.style),
                  buttons_.data(),
                  buttons_.size(),
                  alert.secureField ? 1 : 0,
                  alert.secureField ? alert.secureField->width : 0,
                  alert.secureField ? alert.secureField->height : 0};
    }
    const TavrinUiAlert* get() const { return &value_; }

  private:
    std::vector<TavrinUiText> buttons_;
    TavrinUiAlert value_{};
};

// The buffers the module writes its answer into. The field's buffer holds
// the PIN: it sits on secret pages and is wiped when this goes, on every path.
class ResponseBuffers {
  public:
    ResponseBuffers() {
        value_.field = field_.data();
        value_.field_capacity = field_.size();
        value_.reason = reason_.data();
        value_.reason_capacity = reason_.size();
    }
    ~ResponseBuffers() { explicit_bzero(field_.data(), field_.size()); }
    ResponseBuffers(const ResponseBuffers&) = delete;
    ResponseBuffers& operator=(const ResponseBuffers&) = delete;

    TavrinUiResponse* get() { return &value_; }

    // What the module wrote; lengths beyond a buffer are not believed.
    AlertResponse response() const {
        AlertResponse response;
        response.response = value_.response;
        response.notShownReason.assign(reason_.data(),
                                       std::min(value_.reason_length, reason_.size()));
        if (value_.field_filled != 0)
            response.fieldText.emplace(
                std::string_view(field_.data(), std::min(value_.field_length, field_.size())));
        return response;
    }

  private:
    // Far more than any PIN a token accepts.
    std::vector<char, SecretAllocator<char>> field_ =
        std::vector<char, SecretAllocator<char>>(1024);
    std::array<char, 512> reason_{};
    TavrinUiResponse value_{};
};

AlertResponse failed(const char* step) {
    std::string reason = std::string("the host failed to ") + step;
    try {
        throw;
    } catch (const std::exception& error) {
        reason += std::string(": ") + error.what();
    } catch (...) {
    }
    return AlertResponse::notShown(std::move(reason));
}

// The host's WaitControl behind the module's C calls. Only this code locks it.
WaitControl& controlOf(void* context) {
    return *static_cast<WaitControl*>(context);
}

// Nothing thrown here may unwind into the module's code: a lock that fails
// (a process already broken) is ignored.
template <typename Call>
void guarded(Call call) noexcept {
    try {
        call();
    } catch (...) {
    }
}

void reportShown(void* context, int32_t shown) noexcept {
    guarded([&] { controlOf(context).reportShown(shown != 0); });
}

void markCancelled(void* context) noexcept {
    guarded([&] { controlOf(context).markCancelled(); });
}

int32_t attach(void* context, TavrinUiCloser closer, void* closerContext) noexcept {
    try {
        return controlOf(context).attach([closer, closerContext] { closer(closerContext); }) ? 1
                                                                                             : 0;
    } catch (...) {
        // Not attached: the module shows nothing it could not close.
        return 0;
    }
}

void detach(void* context) noexcept {
    guarded([&] { controlOf(context).detach(); });
}

}  // namespace

AlertResponse UiModule::Alerts::runAlert(const Alert& alert) {
    try {
        const CAlert request(alert);
        ResponseBuffers buffers;
        table_.run_alert(request.get(), buffers.get());
        return buffers.response();
    } catch (...) {
        return failed("pass the alert to the user-interface module");
    }
}

AlertResponse UiModule::Alerts::runWaitNotice(const Alert& alert, WaitControl& control) {
    try {
        const CAlert request(alert);
        ResponseBuffers buffers;
        const TavrinUiWaitCalls calls = {&control, reportShown, markCancelled, attach, detach};
        table_.run_wait_notice(request.get(), &calls, buffers.get());
        return buffers.response();
    } catch (...) {
        control.reportShown(false);
        return failed("pass the notice to the user-interface module");
    }
}

void UiModule::Alerts::abandon() {
    table_.abandon();
}

int UiModule::runManagementWindow(ManagementModel& model) {
    const TavrinUiManagementCalls calls = managementCalls(model);
    return table_.run_management_window(&calls);
}

int UiModule::renderPreview(ManagementModel& model, const std::string& path) {
    const TavrinUiManagementCalls calls = managementCalls(model);
    return table_.render_preview(&calls, textOf(path));
}

}  // namespace tavrin::host
