#pragma once
// The launch sequence of the management application: relocate a translocated
// copy (asking the user), connect the browsers and keep the first-run marker,
// then hand over to the window.

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "browser/browser_connector.h"
#include "relocation/self_relocator.h"

namespace tavrin::host {

class LaunchSequence {
  public:
    // What the window is opened with.
    struct Launch {
        std::vector<BrowserConnectOutcome> autoConnectOutcomes;
        bool isFirstEverLaunch = false;
    };

    std::function<bool(std::string_view path)> isRunningTranslocated;
    std::filesystem::path currentLocation;
    std::function<SelfRelocator::Outcome(const std::filesystem::path&)> relocateIfTranslocated;
    // The automatic connection (the default installer, the default
    // translocation test) and where the first-run marker lives.
    std::function<std::vector<BrowserConnectOutcome>()> connectBrowsers;
    std::filesystem::path firstRunMarker;

    // Nothing when the application is quitting in favour of another copy;
    // else the window's data. A declined or failed relocation carries on:
    // the browser section explains what to do.
    std::optional<Launch> run() const;
};

}  // namespace tavrin::host
