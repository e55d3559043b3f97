#pragma once
// The rules behind the window's browser section: which state, symbol, colour
// and text each browser's row gets, which banner shows and when the advanced
// section appears. The records themselves cross into the user-interface
// module (ui_interface/browsers_presentation.h).

#include <span>

#include "browser/browser_connector.h"
#include "browser/browser_manifest_status.h"
#include "ui_interface/browsers_presentation.h"

namespace tavrin::host {

// A row's state comes from the last outcome for its browser when there is
// one, otherwise from whether its manifest exists. `justConnectedOnFirstLaunch`
// is true after the first-ever launch until the user runs the connection.
BrowsersPresentation presentBrowsers(std::span<const BrowserManifestStatus> statuses,
                                     std::span<const BrowserConnectOutcome> lastOutcomes,
                                     bool justConnectedOnFirstLaunch);

}  // namespace tavrin::host
