// The module's entry point and its table of C functions (ui_module_abi.h):
// each converts the host's C structs into the module's own records, runs the
// Qt code and writes the outcome back into the host's buffers. Nothing
// escapes a function of the table.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "management_calls_model.h"
#include "notice_control.h"
#include "real_alert_runner.h"
#include "ui_interface/ui_module_abi.h"
#include "window/preview_renderer.h"
#include "window/window_runner.h"

namespace tavrin::host::ui {
namespace {

RealAlertRunner& alerts() {
    static RealAlertRunner runner;
    return runner;
}

std::string textOf(TavrinUiText text) {
    return text.data == nullptr ? std::string() : std::string(text.data, text.size);
}

Alert alertFrom(const TavrinUiAlert& in) {
    Alert alert;
    alert.messageText = textOf(in.message);
    alert.informativeText = textOf(in.informative);
    switch (in.style) {
        case TAVRIN_UI_STYLE_WARNING:
            alert.style = AlertStyle::warning;
            break;
        case TAVRIN_UI_STYLE_CRITICAL:
            alert.style = AlertStyle::critical;
            break;
        default:
            alert.style = AlertStyle::informational;
            break;
    }
    for (std::size_t i = 0; i < in.button_count; ++i)
        alert.buttons.push_back(textOf(in.buttons[i]));
    if (in.secure_field != 0) alert.secureField = SecureTextField{in.field_width, in.field_height};
    return alert;
}

// Cut to the host's capacity without splitting a UTF-8 sequence.
void writeReason(TavrinUiResponse& out, const std::string& reason) noexcept {
    std::size_t length = reason.size() < out.reason_capacity ? reason.size() : out.reason_capacity;
    if (length < reason.size()) {
        while (length > 0 && (static_cast<unsigned char>(reason[length]) & 0xC0) == 0x80)
            --length;
    }
    if (length > 0) reason.copy(out.reason, length);
    out.reason_length = length;
}

void writeResponse(const AlertResponse& response, TavrinUiResponse& out) {
    out.response = response.response;
    writeReason(out, response.notShownReason);
    if (!response.fieldText) return;
    const Pin& text = *response.fieldText;
    if (text.size() > out.field_capacity) {
        out.response = TAVRIN_UI_NO_RESPONSE;
        writeReason(out, "the text typed into the field is longer than " +
                             std::to_string(out.field_capacity) + " bytes");
        return;
    }
    std::copy(text.data(), text.data() + text.size(), out.field);
    out.field_length = text.size();
    out.field_filled = 1;
}

void writeFailure(TavrinUiResponse& out, const char* what) noexcept {
    out.response = TAVRIN_UI_NO_RESPONSE;
    out.field_filled = 0;
    out.field_length = 0;
    try {
        writeReason(out, std::string("the user-interface module failed: ") + what);
    } catch (...) {
        out.reason_length = 0;
    }
}

void runAlert(const TavrinUiAlert* alert, TavrinUiResponse* response) noexcept {
    try {
        writeResponse(alerts().runAlert(alertFrom(*alert)), *response);
    } catch (const std::exception& error) {
        writeFailure(*response, error.what());
    } catch (...) {
        writeFailure(*response, "unknown error");
    }
}

void runWaitNotice(const TavrinUiAlert* alert, const TavrinUiWaitCalls* calls,
                   TavrinUiResponse* response) noexcept {
    // The first report counts: a failure after the notice was reported
    // shown changes nothing, one before it reports it not shown. The
    // control has detached from the host before the catch runs.
    try {
        NoticeControl control(*calls);
        writeResponse(alerts().runWaitNotice(alertFrom(*alert), control), *response);
        return;
    } catch (const std::exception& error) {
        writeFailure(*response, error.what());
    } catch (...) {
        writeFailure(*response, "unknown error");
    }
    calls->report_shown(calls->context, 0);
}

void abandon() noexcept {
    try {
        alerts().abandon();
    } catch (...) {
        // Nothing open can be closed; later alerts still see the flag set
        // before the close was posted.
    }
}

template <typename Run>
int32_t runReported(const char* prefix, Run run) noexcept {
    try {
        return run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s%s\n", prefix, error.what());
    } catch (...) {
        std::fprintf(stderr, "%sunknown error\n", prefix);
    }
    return 1;
}

int32_t runManagementWindow(const TavrinUiManagementCalls* calls) noexcept {
    return runReported("tavrin-bridge: the management window failed: ", [&] {
        ManagementCallsModel model(*calls);
        return ui::runManagementWindow(model);
    });
}

int32_t renderPreview(const TavrinUiManagementCalls* calls, TavrinUiText path) noexcept {
    return runReported("render-preview: ", [&] {
        ManagementCallsModel model(*calls);
        return ui::renderPreview(model, textOf(path));
    });
}

constexpr TavrinUiModule table = {
    TAVRIN_UI_INTERFACE_VERSION, runAlert,      runWaitNotice, abandon,
    runManagementWindow,         renderPreview,
};

}  // namespace
}  // namespace tavrin::host::ui

extern "C" __attribute__((visibility("default"))) const TavrinUiModule* tavrin_bridge_ui_create(
    std::uint32_t host_version, std::uint32_t* module_version) {
    *module_version = TAVRIN_UI_INTERFACE_VERSION;
    if (host_version != TAVRIN_UI_INTERFACE_VERSION) return nullptr;
    return &tavrin::host::ui::table;
}
