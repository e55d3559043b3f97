#pragma once
// What the window's browser section shows, as plain data: the row of each
// browser, at most one banner, and the advanced section. The window only
// draws it; every rule about states and texts lives here.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "browser/browser_connector.h"
#include "browser/browser_manifest_status.h"
#include "browser/native_messaging_browser.h"

namespace tavrin::host {

enum class BrowserRowState {
    connected,
    needsOwnExtensionID,
    manualOverridePreserved,
    appNotInApplicationsFolder,
    notConnected,
    failed,
};

// The toolkit's standard colours the symbols and labels use.
enum class ColourRole { green, orange, secondary };

struct BrowserRow {
    NativeMessagingBrowser browser;
    BrowserRowState state;
    std::string_view symbol;  // a system symbol name, e.g. "checkmark.circle.fill"
    ColourRole symbolColour;
    std::string displayName;
    std::string statusText;
    std::string manifestPath;
    std::string failureMessage;  // set when state is failed

    bool operator==(const BrowserRow&) const = default;
};

struct Banner {
    std::string_view symbol;
    ColourRole colour;
    std::string_view text;

    bool operator==(const Banner&) const = default;
};

// Shown only while some browser is not connected; permanently expanded.
struct AdvancedSection {
    std::string_view title;          // "Pokročilé", bold, secondary
    std::string_view connectButton;  // "Propojit s prohlížeči"
    std::vector<std::string>
        pathLines;  // displayName + ": " + manifest path; monospaced, secondary
    std::vector<std::string>
        errorLines;  // "Chyba (" + displayName + "): " + message; monospaced, orange

    bool operator==(const AdvancedSection&) const = default;
};

struct BrowsersPresentation {
    std::vector<BrowserRow> rows;
    std::optional<Banner> banner;
    std::optional<AdvancedSection> advanced;
};

// The title of the button that runs the connection again.
inline constexpr std::string_view connectButtonTitle = "Propojit s prohlížeči";

// A row's state comes from the last outcome for its browser when there is
// one, otherwise from whether its manifest exists. `justConnectedOnFirstLaunch`
// is true after the first-ever launch until the user runs the connection.
BrowsersPresentation presentBrowsers(std::span<const BrowserManifestStatus> statuses,
                                     std::span<const BrowserConnectOutcome> lastOutcomes,
                                     bool justConnectedOnFirstLaunch);

}  // namespace tavrin::host
