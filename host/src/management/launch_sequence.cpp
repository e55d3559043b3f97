#include "management/launch_sequence.h"

#include "browser/first_run_store.h"

namespace tavrin::host {

std::optional<LaunchSequence::Launch> LaunchSequence::run()
    const {
    if (isRunningTranslocated(currentLocation.string())) {
        const SelfRelocator::Outcome outcome = relocateIfTranslocated(currentLocation);
        if (outcome.kind() != SelfRelocator::Outcome::Kind::declinedOrFailed) return std::nullopt;
    }

    Launch launch;
    launch.isFirstEverLaunch = !FirstRunStore::isCompleted(firstRunMarker);
    launch.autoConnectOutcomes = connectBrowsers();
    // Without the marker the next launch shows the first-run note again,
    // which is harmless.
    (void)FirstRunStore::markCompleted(firstRunMarker);
    return launch;
}

}  // namespace tavrin::host
