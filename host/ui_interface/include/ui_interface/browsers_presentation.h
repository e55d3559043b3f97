#pragma once
// What the window's browser section shows, as plain data: the row of each
// browser, at most one banner, and the advanced section. The window only
// draws it; the host decides every state and text
// (browser/connection_presentation.h).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui_interface/browser_id.h"

namespace tavrin::host {

enum class BrowserRowState {
    connected,
    needsOwnExtensionID,
    manualOverridePreserved,
    appNotInApplicationsFolder,
    notConnected,
    failed,
    // The browser cannot start any program outside its sandbox.
    cannotConnect,
    // A Flatpak's manifest is there; the user still has to let the browser
    // leave its sandbox.
    needsSandboxPermission,
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
    // Below the row, in the secondary style: how this browser connects and
    // what the user can do; then commands to type, each on a selectable
    // monospaced line. Both may be empty.
    std::string note;
    std::vector<std::string> commands;

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
    std::vector<std::string> pathLines;  // displayName + ": " + manifest path, for each row with a
                                         // manifest; monospaced, secondary
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

}  // namespace tavrin::host
