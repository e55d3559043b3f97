// Relocating a translocated copy: the decision sequence with recorded
// operations, and the Linux operations on real folders.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "relocation/self_relocator.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;
using Outcome = SelfRelocator::Outcome;

// What the scripted operations answer.
struct Script {
    bool running = false;
    bool confirm = true;
    std::string fails = {};  // the name of the step that fails
};

// Operations that record each call as one line and answer from the script.
SelfRelocator::Operations recorded(const Script& s, std::vector<std::string>& log) {
    SelfRelocator::Operations ops;
    ops.canonicalTargetURL = "/apps/T.app";
    ops.bundleIdentifier = "id";
    const auto handle = [&log](std::string name) {
        return SelfRelocator::RunningCopyHandle{
            [&log, name] { log.push_back("activate " + name); }};
    };
    const auto step = [&log, s](const std::string& name, const std::string& arguments) {
        log.push_back(name + " " + arguments);
        return s.fails == name ? Result<Unit, FileError>(FileError{name + " broke", 1})
                               : Result<Unit, FileError>(Unit{});
    };
    ops.findRunningCopy = [&, s, handle](const std::string& id, const fs::path& at) {
        log.push_back("find " + id + " " + at.string());
        return s.running ? std::optional(handle("running")) : std::nullopt;
    };
    // Replacing an existing copy is the Linux test's case.
    ops.targetExists = [](const fs::path&) { return false; };
    ops.createDirectoryIfNeeded = [step](const fs::path& dir) { return step("mkdir", dir); };
    ops.makeTemporaryURL = [](const fs::path&) { return fs::path("/apps/tmp.app"); };
    ops.copyItem = [step](const fs::path& from, const fs::path& to) {
        return step("copy", from.string() + " " + to.string());
    };
    ops.removeQuarantineRecursively = [step](const fs::path& at) {
        (void)step("unquarantine", at);
    };
    ops.replaceItem = [step](const fs::path& target, const fs::path& with) {
        return step("replace", target.string() + " " + with.string());
    };
    ops.removeItem = [&](const fs::path& at) -> Result<Unit, FileError> {
        log.push_back("remove " + at.string());
        return FileError{"removal failures are ignored", 1};
    };
    ops.launchAndWaitForStart = [&, handle](const fs::path& at) {
        log.push_back("launch " + at.string());
        return std::optional(handle("new"));
    };
    ops.confirmMoveToApplications = [&, s] {
        log.push_back("ask move");
        return s.confirm;
    };
    ops.terminateSelf = [&] { log.push_back("terminate"); };
    return ops;
}

TEST(SelfRelocator, FollowsTheDecisionSequence) {
    const std::string find = "find id /apps/T.app";
    const std::string copy = "copy /me/T.app /apps/tmp.app";
    const struct Case {
        const char* name;
        Script script;
        Outcome outcome;
        std::vector<std::string> calls;
    } cases[] = {
        {"a copy runs at the target",
         {.running = true},
         Outcome::switchedToRunningCopy(),
         {find, "activate running", "terminate"}},
        {"move declined",
         {.confirm = false},
         Outcome::declinedOrFailed("user declined the confirmation"),
         {find, "ask move"}},
        {"moved",
         {},
         Outcome::relocatedAndRelaunched(),
         {find, "ask move", "mkdir /apps", copy, "unquarantine /apps/tmp.app",
          "replace /apps/T.app /apps/tmp.app", "launch /apps/T.app", "activate new", "terminate"}},
        {"copy fails",
         {.fails = "copy"},
         Outcome::declinedOrFailed("copy failed: copy broke"),
         {find, "ask move", "mkdir /apps", copy, "remove /apps/tmp.app"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> log;
        const Outcome outcome = SelfRelocator::run("/me/T.app", recorded(c.script, log));
        EXPECT_EQ(outcome, c.outcome) << outcome.reason();
        EXPECT_EQ(log, c.calls);
    }
}

// Answers every prompt with its first button and remembers what it showed.
class AcceptingPrompts final : public AlertRunning {
  public:
    std::vector<std::string> shown;
    AlertResponse runAlert(const Alert& alert) override {
        shown.push_back(alert.messageText);
        AlertResponse response;
        response.response = firstButtonResponse;
        return response;
    }
};

TEST(SelfRelocatorLinux, ReplacesTheTargetInOneStepAndStartsTheCopy) {
    testing::TempDir home;
    const fs::path bundle = home.path() / "Downloads" / "Tavrin Bridge.app";
    const fs::path started = home.path() / "started";
    // The relocated program only proves that it ran.
    testing::write_file(bundle / "tavrin-bridge", "#!/bin/sh\ntouch '" + started.string() + "'\n");
    fs::permissions(bundle / "tavrin-bridge", fs::perms::owner_all);
    testing::write_file(bundle / "share" / "new", "new");
    const fs::path target = home.path() / "Applications" / "Tavrin Bridge.app";
    testing::write_file(target / "old", "old");

    AcceptingPrompts prompts;
    bool terminated = false;
    auto ops = SelfRelocator::Operations::platformDefaults(prompts, [&] { terminated = true; });
    ops.canonicalTargetURL = target;
    EXPECT_EQ(SelfRelocator::run(bundle, ops), Outcome::relocatedAndRelaunched());

    EXPECT_EQ(prompts.shown, std::vector<std::string>{"Nahradit existující kopii?"});
    EXPECT_TRUE(terminated);
    EXPECT_TRUE(fs::exists(bundle / "tavrin-bridge")) << "the started copy is never deleted";
    EXPECT_EQ(testing::list_tree(target.parent_path()),
              "Tavrin Bridge.app\nTavrin Bridge.app/share\nTavrin Bridge.app/share/new = new\n"
              "Tavrin Bridge.app/tavrin-bridge = " +
                  testing::read_file(bundle / "tavrin-bridge") + "\n")
        << "no temporary copy is left beside the target";
    for (int i = 0; i < 100 && !fs::exists(started); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(fs::exists(started)) << "the relocated program did not run";
}

}  // namespace
}  // namespace tavrin::host
