// The prompts through a scripted runner: their Czech texts and how responses
// become answers. (Their hand-off to the main thread: core_worker_test; the
// buttons and the PIN field: the Xvfb tests.)

#include <gtest/gtest.h>

#include <thread>

#include "dialogs/main_thread.h"
#include "dialogs/prompt_dialogs.h"

namespace tavrin::host {
namespace {

constexpr const char* kOrigin = "https://podpis.example.cz";

AlertResponse answered(int response, std::optional<std::string> field = std::nullopt) {
    AlertResponse r;
    r.response = response;
    if (field) r.fieldText.emplace(*field);
    return r;
}

// Records every alert; answers from `script`.
class ScriptedRunner final : public AlertRunning {
  public:
    std::function<AlertResponse()> script = [] { return answered(firstButtonResponse); };
    std::vector<Alert> alerts;
    int abandoned = 0;

    AlertResponse runAlert(const Alert& alert) override {
        alerts.push_back(alert);
        return script();
    }
    void abandon() override { ++abandoned; }
};

class DialogTest : public ::testing::Test {
  protected:
    std::shared_ptr<ScriptedRunner> runner = std::make_shared<ScriptedRunner>();
    PromptDialogs dialogs{runner, std::make_shared<MainThreadExecutor>()};

    const Alert& only() {
        EXPECT_EQ(runner->alerts.size(), 1u);
        return runner->alerts.back();
    }
};

TEST_F(DialogTest, DocumentCountsTakeTheirCzechForms) {
    const struct {
        std::uint32_t count;
        const char* pin;
        const char* confirmation;
    } cases[] = {
        {0, "0 dokumentů", "0 dokumentů"}, {1, "1 dokumentu", "1 dokument"},
        {2, "2 dokumentů", "2 dokumenty"}, {4, "4 dokumentů", "4 dokumenty"},
        {5, "5 dokumentů", "5 dokumentů"},
    };
    for (const auto& c : cases) {
        runner->alerts.clear();
        (void)dialogs.requestPin(kOrigin, "cert", c.count);
        (void)dialogs.requestSignConfirmation(kOrigin, "cert", c.count);
        ASSERT_EQ(runner->alerts.size(), 2u);
        EXPECT_EQ(runner->alerts[0].messageText,
                  std::string("Zadejte PIN k podpisu ") + c.pin + " pro " + kOrigin);
        EXPECT_EQ(runner->alerts[1].messageText,
                  std::string("Podepsat ") + c.confirmation + " pro " + kOrigin + "?");
        EXPECT_EQ(runner->alerts[1].informativeText,
                  "Je-li klíč uložen na čipové kartě nebo tokenu, budete v dalším kroku požádáni "
                  "o PIN.");
        for (const Alert& alert : runner->alerts)
            EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Podepsat", "Zrušit"}));
        EXPECT_TRUE(runner->alerts[0].secureField && !runner->alerts[1].secureField);
    }
}

TEST_F(DialogTest, ConsentNamesThePurposesOnlyWhenTheyAreAnArrayOfStrings) {
    const struct {
        const char* purposesJson;
        const char* informative;
    } cases[] = {
        {R"(["sign","auth"])", "Účel: podepisování, přihlašování"},
        {R"(["sign","x"])", "Účel: podepisování, x"},
        {R"([])", ""},
        {R"(["sign",1])", ""},
    };
    for (const auto& c : cases) {
        runner->alerts.clear();
        (void)dialogs.requestConsent(kOrigin, c.purposesJson);
        EXPECT_EQ(only().informativeText, c.informative) << c.purposesJson;
        EXPECT_EQ(only().messageText, std::string("Povolit aplikaci ") + kOrigin +
                                          " přístup k certifikátům v Tavrin Bridge?");
        EXPECT_EQ(only().buttons, (std::vector<std::string>{"Povolit", "Odmítnout"}));
        EXPECT_FALSE(only().secureField);
    }
}

TEST_F(DialogTest, OnlyTheFirstButtonSaysYesAndAnEmptyPinIsAPin) {
    const struct {
        AlertResponse (*response)();
        std::optional<std::string> pin;  // also: whether the prompts say yes
    } cases[] = {
        {[] { return answered(firstButtonResponse, ""); }, ""},
        {[] { return answered(firstButtonResponse + 1, "1234"); }, std::nullopt},
        {[] { return answered(noButtonResponse, "1234"); }, std::nullopt},
        {[] { return AlertResponse::notShown("no display"); }, std::nullopt},
    };
    for (const auto& c : cases) {
        runner->script = c.response;
        EXPECT_EQ(dialogs.requestConsent(kOrigin, R"(["sign"])"), c.pin.has_value());
        EXPECT_EQ(dialogs.requestSignConfirmation(kOrigin, "cert", 2), c.pin.has_value());
        const auto pin = dialogs.requestPin(kOrigin, "cert", 1);
        ASSERT_EQ(pin.has_value(), c.pin.has_value());
        if (pin) {
            EXPECT_EQ(std::string(pin->view()), *c.pin);
        }
    }
}

// The page goes away while a prompt is open: that prompt counts as
// cancelled whatever it answered, the runner is told to close it, and every
// later prompt is cancelled without reaching the runner. The
// user's own "no" is not taken for that.
TEST(DialogAbandon, APromptWhosePageHasGoneIsCancelledAndSoIsEveryLaterOne) {
    using Prompt = std::function<bool(PromptDialogs&)>;
    const Prompt prompts[] = {
        [](auto& d) { return d.requestConsent(kOrigin, R"(["sign"])"); },
        [](auto& d) { return d.requestPin(kOrigin, "cert", 1).has_value(); },
        [](auto& d) { return d.requestSignConfirmation(kOrigin, "cert", 1); },
    };
    for (std::size_t open = 0; open < 3; ++open) {
        SCOPED_TRACE(open);
        auto runner = std::make_shared<ScriptedRunner>();
        PromptDialogs dialogs(runner, std::make_shared<MainThreadExecutor>());
        runner->script = [] { return answered(firstButtonResponse + 1); };
        EXPECT_FALSE(prompts[open](dialogs));
        EXPECT_FALSE(dialogs.abandonedPrompt());

        runner->script = [&] {
            dialogs.abandon();
            return answered(firstButtonResponse, "1234");
        };
        EXPECT_FALSE(prompts[open](dialogs));
        EXPECT_TRUE(dialogs.abandonedPrompt());
        EXPECT_EQ(runner->abandoned, 1);
        for (const Prompt& later : prompts)
            EXPECT_FALSE(later(dialogs));
        EXPECT_EQ(runner->alerts.size(), 2u);
    }
}

}  // namespace
}  // namespace tavrin::host
