// The relocation operations as they run on Linux. There is no registry of
// running applications to ask and no quarantine attribute to clear; the
// "bundle" is the folder that holds the executable.

#include "browser/identifiers.h"
#include "platform/app_paths.h"
#include "platform/relocation_operations.h"
#include "relocation/self_relocator.h"

namespace tavrin::host {
namespace {

constexpr const char* executableName = "tavrin-bridge";

bool confirmed(AlertRunning& prompts, const Alert& alert) {
    return prompts.runAlert(alert).response == firstButtonResponse;
}

}  // namespace

SelfRelocator::Path SelfRelocator::defaultCanonicalTargetURL() {
    return AppPaths::fromProcess().home() / "Applications" / "Tavrin Bridge.app";
}

SelfRelocator::Operations SelfRelocator::Operations::platformDefaults(
    AlertRunning& prompts, std::function<void()> terminate) {
    Operations ops;
    ops.canonicalTargetURL = defaultCanonicalTargetURL();
    ops.bundleIdentifier = std::string(NativeHostName);
    ops.findRunningCopy = [](const std::string&, const Path&) {
        return std::optional<RunningCopyHandle>();
    };
    ops.targetExists = [](const Path& path) { return fileExists(path); };
    ops.createDirectoryIfNeeded = [](const Path& path) { return files::createDirectories(path, 0755); };
    ops.makeTemporaryURL = [](const Path& target) { return makeTemporaryURLReal(target); };
    ops.copyItem = [](const Path& from, const Path& to) { return copyItemRecursively(from, to); };
    ops.removeQuarantineRecursively = [](const Path&) {};
    ops.replaceItem = [](const Path& target, const Path& replacement) {
        return tavrin::host::replaceItem(target, replacement);
    };
    ops.removeItem = [](const Path& path) { return removeItemRecursively(path); };
    ops.launchAndWaitForStart = [](const Path& target) {
        if (!launchDetached(target / executableName)) return std::optional<RunningCopyHandle>();
        // A started process has no window to raise from here.
        return std::optional<RunningCopyHandle>(RunningCopyHandle{[] {}});
    };
    ops.confirmMoveToApplications = [&prompts] {
        return confirmed(prompts, moveToApplicationsPrompt());
    };
    ops.confirmReplaceExistingCopy = [&prompts] {
        return confirmed(prompts, replaceExistingCopyPrompt());
    };
    ops.terminateSelf = std::move(terminate);
    return ops;
}

}  // namespace tavrin::host
