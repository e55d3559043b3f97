#include "relocation/self_relocator.h"

#include "relocation/uuid.h"

namespace tavrin::host {

SelfRelocator::Outcome SelfRelocator::run(const Path& currentLocation, const Operations& ops) {
    const Path& target = ops.canonicalTargetURL;
    if (const auto running = ops.findRunningCopy(ops.bundleIdentifier, target)) {
        running->activate();
        ops.terminateSelf();
        return Outcome::switchedToRunningCopy();
    }

    const bool exists = ops.targetExists(target);
    const bool confirmed =
        exists ? ops.confirmReplaceExistingCopy() : ops.confirmMoveToApplications();
    if (!confirmed) return Outcome::declinedOrFailed("user declined the confirmation");

    const Path temporary = ops.makeTemporaryURL(target);
    auto copied = ops.createDirectoryIfNeeded(target.parent_path());
    if (copied) copied = ops.copyItem(currentLocation, temporary);
    if (!copied) {
        (void)ops.removeItem(temporary);
        return Outcome::declinedOrFailed("copy failed: " + copied.error().description);
    }

    ops.removeQuarantineRecursively(temporary);

    if (auto replaced = ops.replaceItem(target, temporary); !replaced) {
        (void)ops.removeItem(temporary);
        return Outcome::declinedOrFailed("replace failed: " + replaced.error().description);
    }

    const auto started = ops.launchAndWaitForStart(target);
    if (!started) return Outcome::declinedOrFailed("relaunch did not report starting");
    started->activate();
    ops.terminateSelf();
    return Outcome::relocatedAndRelaunched();
}

SelfRelocator::Path SelfRelocator::makeTemporaryURLReal(const Path& canonicalTargetURL) {
    return canonicalTargetURL.parent_path() /
           (".tavrin-bridge-relocate-" + randomUuidText() + ".app");
}

namespace {

// Both prompts: informational, the first button confirms, "Teď ne" declines.
Alert informationalPrompt(std::string message, std::string informative, std::string confirm) {
    Alert alert;
    alert.messageText = std::move(message);
    alert.informativeText = std::move(informative);
    alert.style = AlertStyle::informational;
    alert.buttons = {std::move(confirm), "Teď ne"};
    return alert;
}

}  // namespace

Alert SelfRelocator::moveToApplicationsPrompt() {
    return informationalPrompt(
        "Přesunout Tavrin Bridge do Aplikací?",
        "Aby aplikace fungovala i po zavření tohoto okna, potřebuje být ve složce Aplikace. Mohu "
        "ji tam přesunout za vás?",
        "Přesunout do Aplikací");
}

Alert SelfRelocator::replaceExistingCopyPrompt() {
    return informationalPrompt(
        "Nahradit existující kopii?",
        "Ve složce Aplikace už Tavrin Bridge je. Mohu ji nahradit touhle verzí, kterou jste teď "
        "spustili?",
        "Nahradit");
}

}  // namespace tavrin::host
