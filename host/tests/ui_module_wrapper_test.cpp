// The host's side of the user-interface module's C functions, with a module
// of the test's own: how the module's answers and failures become
// AlertResponses, and how the window's data calls report the host's failures.

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "ui_module/management_calls.h"
#include "ui_module/ui_module.h"

namespace tavrin::host {
namespace {

void write(char* buffer, std::size_t capacity, std::size_t& length, const char* text) {
    length = std::min(std::strlen(text), capacity);
    std::memcpy(buffer, text, length);
}

// What the test's module saw of the last alert.
std::string seenMessage;
std::vector<std::string> seenButtons;
bool seenField = false;

void see(const TavrinUiAlert* alert) {
    seenMessage.assign(alert->message.data, alert->message.size);
    seenButtons.clear();
    for (std::size_t i = 0; i < alert->button_count; ++i)
        seenButtons.emplace_back(alert->buttons[i].data, alert->buttons[i].size);
    seenField = alert->secure_field != 0;
}

TavrinUiModule moduleWith(void (*runAlert)(const TavrinUiAlert*, TavrinUiResponse*),
                          void (*runNotice)(const TavrinUiAlert*, const TavrinUiWaitCalls*,
                                            TavrinUiResponse*) = nullptr) {
    return {TAVRIN_UI_INTERFACE_VERSION,
            runAlert,
            runNotice,
            [] {},
            [](const TavrinUiManagementCalls*) { return 0; },
            [](const TavrinUiManagementCalls*, TavrinUiText) { return 0; }};
}

TEST(UiModuleWrapper, TurnsTheModulesAnswersIntoResponses) {
    const struct {
        const char* name;
        void (*runAlert)(const TavrinUiAlert*, TavrinUiResponse*);
        int response;
        std::string reason;
        std::optional<std::string> field;
    } cases[] = {
        {"no display",
         [](const TavrinUiAlert* alert, TavrinUiResponse* out) {
             see(alert);
             write(out->reason, out->reason_capacity, out->reason_length,
                   "the user-interface module failed: cannot open display :99");
         },
         noButtonResponse, "the user-interface module failed: cannot open display :99",
         std::nullopt},
        {"PIN entered",
         [](const TavrinUiAlert* alert, TavrinUiResponse* out) {
             see(alert);
             out->response = TAVRIN_UI_FIRST_BUTTON;
             write(out->field, out->field_capacity, out->field_length, "1234");
             out->field_filled = 1;
         },
         firstButtonResponse, "", "1234"},
        {"second button, empty field",
         [](const TavrinUiAlert* alert, TavrinUiResponse* out) {
             see(alert);
             out->response = TAVRIN_UI_FIRST_BUTTON + 1;
             out->field_filled = 1;
         },
         firstButtonResponse + 1, "", ""},
        {"lengths beyond the buffers are not believed",
         [](const TavrinUiAlert* alert, TavrinUiResponse* out) {
             see(alert);
             write(out->reason, out->reason_capacity, out->reason_length, "x");
             out->reason_length = out->reason_capacity + 100;
         },
         noButtonResponse, std::string(512, '\0').replace(0, 1, "x"), std::nullopt},
    };
    Alert alert{"Zadejte PIN", "", AlertStyle::warning, {"OK", "Zrušit"}, SecureTextField{}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TavrinUiModule table = moduleWith(c.runAlert);
        UiModule module(table);
        const AlertResponse response = module.alertRunner().runAlert(alert);
        EXPECT_EQ(seenMessage, "Zadejte PIN");
        EXPECT_EQ(seenButtons, alert.buttons);
        EXPECT_TRUE(seenField);
        EXPECT_EQ(response.response, c.response);
        EXPECT_EQ(response.notShownReason, c.reason);
        ASSERT_EQ(response.fieldText.has_value(), c.field.has_value());
        if (c.field) {
            EXPECT_EQ(std::string(response.fieldText->view()), *c.field);
        }
    }
}

TEST(UiModuleWrapper, ANoticeTheModuleCannotShowLeavesTheControlNotShown) {
    const TavrinUiModule table = moduleWith(
        nullptr, [](const TavrinUiAlert*, const TavrinUiWaitCalls* calls, TavrinUiResponse* out) {
            // A close requested before the notice came refuses the closer.
            if (calls->attach(
                    calls->context, [](void*) {}, nullptr) == 0) {
                write(out->reason, out->reason_capacity, out->reason_length, "closed already");
                calls->report_shown(calls->context, 0);
            }
        });
    UiModule module(table);
    WaitControl control;
    control.requestClose();
    const AlertResponse response =
        module.alertRunner().runWaitNotice(Alert{"Vložte kartu", "", {}, {}, {}}, control);
    EXPECT_EQ(response.notShownReason, "closed already");
    EXPECT_FALSE(control.waitShown());
}

// A model whose reads fail as a broken consent file or core would.
class FailingModel final : public ManagementModel {
  public:
    std::optional<HostStatus> status() override { return std::nullopt; }
    std::vector<ConsentGrant> grants() override {
        throw std::runtime_error("soubor se souhlasy nelze přečíst");
    }
    std::optional<std::string> revoke(const std::string& origin) override {
        if (origin == "https://ok.example") return std::nullopt;
        return "přístup odepřen";
    }
    BrowsersPresentation browsers() override { throw 42; }
    BrowsersPresentation connect() override { return {}; }
    ReadersAndCards readersAndCards() override { return {}; }
    std::string diagnosticReport() override { return {}; }
};

TEST(UiModuleWrapper, TheWindowsCallsReportTheHostsFailuresAsStatus) {
    FailingModel model;
    const TavrinUiManagementCalls calls = managementCalls(model);
    const auto call = [&](auto function, auto... arguments) {
        TavrinUiBytes bytes{nullptr, 0};
        const int32_t status = function(calls.context, arguments..., &bytes);
        std::string text(reinterpret_cast<const char*>(bytes.data), bytes.size);
        calls.release(calls.context, &bytes);
        EXPECT_EQ(bytes.data, nullptr);
        return std::pair(status, text);
    };
    const std::string ok = "https://ok.example", refused = "https://refused.example";
    EXPECT_EQ(call(calls.status), std::pair(0, std::string("null")));
    EXPECT_EQ(call(calls.grants), std::pair(1, std::string("soubor se souhlasy nelze přečíst")));
    EXPECT_EQ(call(calls.browsers), std::pair(1, std::string()));
    EXPECT_EQ(call(calls.revoke, TavrinUiText{ok.data(), ok.size()}), std::pair(0, std::string()));
    EXPECT_EQ(call(calls.revoke, TavrinUiText{refused.data(), refused.size()}),
              std::pair(1, std::string("přístup odepřen")));
    EXPECT_EQ(call(calls.diagnostic_report), std::pair(0, std::string()));
}

}  // namespace
}  // namespace tavrin::host
