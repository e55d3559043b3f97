#pragma once
// Moves a translocated copy of the application to the user's Applications
// folder and starts it there, or switches to a copy already running there.
// Every effect is an injectable operation, so the decision sequence runs in
// tests without touching the system. On Linux the translocation test never
// answers yes, so the delegate never starts a relocation; the defaults still
// do the job they describe.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "common/result.h"
#include "dialogs/alert_running.h"
#include "platform/file_ops.h"

namespace tavrin::host {

class SelfRelocator {
  public:
    SelfRelocator() = delete;

    // A copy of the application that is running (or was just started) and
    // can be brought to the front.
    struct RunningCopyHandle {
        std::function<void()> activate;
    };

    class Outcome {
      public:
        enum class Kind { declinedOrFailed, switchedToRunningCopy, relocatedAndRelaunched };

        static Outcome declinedOrFailed(std::string reason) {
            return Outcome(Kind::declinedOrFailed, std::move(reason));
        }
        static Outcome switchedToRunningCopy() { return Outcome(Kind::switchedToRunningCopy); }
        static Outcome relocatedAndRelaunched() { return Outcome(Kind::relocatedAndRelaunched); }

        Kind kind() const { return kind_; }
        // Why nothing moved; empty unless kind() is declinedOrFailed.
        const std::string& reason() const { return reason_; }
        bool operator==(const Outcome&) const = default;

      private:
        explicit Outcome(Kind kind, std::string reason = {})
            : kind_(kind), reason_(std::move(reason)) {}
        Kind kind_;
        std::string reason_;
    };

    using Path = std::filesystem::path;

    struct Operations {
        Path canonicalTargetURL;
        std::string bundleIdentifier;
        std::function<std::optional<RunningCopyHandle>(const std::string& identifier,
                                                       const Path& target)>
            findRunningCopy;
        std::function<bool(const Path&)> targetExists;
        std::function<Result<Unit, FileError>(const Path&)> createDirectoryIfNeeded;
        std::function<Path(const Path& target)> makeTemporaryURL;
        std::function<Result<Unit, FileError>(const Path& from, const Path& to)> copyItem;
        std::function<void(const Path&)> removeQuarantineRecursively;
        std::function<Result<Unit, FileError>(const Path& target, const Path& replacement)>
            replaceItem;
        std::function<Result<Unit, FileError>(const Path&)> removeItem;
        std::function<std::optional<RunningCopyHandle>(const Path&)> launchAndWaitForStart;
        std::function<bool()> confirmMoveToApplications;
        std::function<bool()> confirmReplaceExistingCopy;
        std::function<void()> terminateSelf;

        // The Linux implementations; the prompts run through `prompts` and
        // terminateSelf calls `terminate`.
        static Operations platformDefaults(AlertRunning& prompts, std::function<void()> terminate);
    };

    // The decision sequence: switch to a running copy; else ask, copy to a
    // temporary name beside the target, clear the quarantine, replace the
    // target in one step, start it and quit. The copy the user started is
    // never deleted; a temporary copy never outlives a failure.
    static Outcome run(const Path& currentLocation, const Operations& operations);

    // ~/Applications/Tavrin Bridge.app.
    static Path defaultCanonicalTargetURL();
    // Beside the target: ".tavrin-bridge-relocate-<UUID>.app".
    static Path makeTemporaryURLReal(const Path& canonicalTargetURL);

    // The prompts' texts, for the dialog module.
    static Alert moveToApplicationsPrompt();
    static Alert replaceExistingCopyPrompt();
};

}  // namespace tavrin::host
