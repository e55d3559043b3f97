#include "browser/connection_presentation.h"

#include <algorithm>

namespace tavrin::host {

namespace {

using OutcomeKind = BrowserConnectOutcome::Result::Kind;

struct StateLook {
    std::string_view symbol;
    ColourRole colour;
    std::string_view text;
};

StateLook lookOf(BrowserRowState state) {
    switch (state) {
        case BrowserRowState::connected:
            return {"checkmark.circle.fill", ColourRole::green, "Propojeno"};
        case BrowserRowState::needsOwnExtensionID:
            return {"questionmark.circle.fill", ColourRole::secondary,
                    "Zatím nelze propojit automaticky"};
        case BrowserRowState::manualOverridePreserved:
            return {"lock.circle.fill", ColourRole::secondary,
                    "Vlastní nastavení (ponecháno beze změny)"};
        case BrowserRowState::appNotInApplicationsFolder:
            return {"folder.circle.fill", ColourRole::orange, "Spuštěno mimo Aplikace"};
        case BrowserRowState::notConnected:
            return {"circle.dashed", ColourRole::secondary, "Nepropojeno"};
        case BrowserRowState::failed:
            return {"exclamationmark.circle.fill", ColourRole::orange, "Nepodařilo se propojit"};
        case BrowserRowState::cannotConnect:
            return {"xmark.circle.fill", ColourRole::orange, "Nelze propojit"};
        case BrowserRowState::needsSandboxPermission:
            return {"lock.shield.fill", ColourRole::orange, "Čeká na povolení"};
    }
    return {"circle.dashed", ColourRole::secondary, "Nepropojeno"};
}

BrowserRowState stateOf(OutcomeKind kind) {
    switch (kind) {
        case OutcomeKind::failed:
            return BrowserRowState::failed;
        case OutcomeKind::connected:
            return BrowserRowState::connected;
        case OutcomeKind::needsOwnExtensionID:
            return BrowserRowState::needsOwnExtensionID;
        case OutcomeKind::manualOverridePreserved:
            return BrowserRowState::manualOverridePreserved;
        case OutcomeKind::appNotInApplicationsFolder:
            return BrowserRowState::appNotInApplicationsFolder;
    }
    return BrowserRowState::failed;
}

constexpr Banner translocatedBanner{
    "exclamationmark.triangle.fill", ColourRole::orange,
    "Tavrin Bridge teď běží z dočasné složky a automatické přesunutí do složky Aplikace se "
    "nepovedlo nebo jste ho odmítli — propojení s prohlížeči proto zatím nejde nastavit. "
    "Otevřete Tavrin Bridge znovu a potvrďte přesun do Aplikací, nebo ji tam přesuňte sami ve "
    "Finderu, pak tuhle aplikaci ukončte (Cmd-Q) a spusťte znovu. Po správném spuštění se "
    "propojení nastaví samo."};
constexpr Banner firstLaunchBanner{"sparkles", ColourRole::secondary,
                                   "Propojení proběhlo automaticky při prvním spuštění."};
constexpr Banner allConnectedBanner{
    "checkmark.circle.fill", ColourRole::green,
    "Hotovo — všechny prohlížeče jsou propojené a připravené k podpisu. Dál se nemusíte o nic "
    "starat."};

constexpr std::string_view portalNote =
    "Tento Firefox spouští Tavrin Bridge přes systém: při prvním podpisu se vás jednou zeptá, "
    "zda to smí udělat.";
constexpr std::string_view snapChromiumNote =
    "Chromium ze Snap Store nemůže spustit žádný program mimo svůj sandbox, a tak ani Tavrin "
    "Bridge. Podepisujte v Chromiu z balíčků vaší distribuce nebo v Google Chrome.";
constexpr std::string_view sandboxPermissionNote =
    "Prohlížeč tím smí spouštět jakékoli programy mimo svůj sandbox, nejen Tavrin Bridge.";

// What the row says beyond its state: how a confined browser connects and
// the commands that connect a Flatpak.
void explain(BrowserRow& row) {
    switch (connection(row.browser)) {
        case BrowserConnection::direct:
            return;
        case BrowserConnection::desktopPortal:
            row.note = portalNote;
            return;
        case BrowserConnection::none:
            row.note = snapChromiumNote;
            return;
        case BrowserConnection::flatpakWrapper:
            break;
    }
    const std::string grant = "flatpak override --user --talk-name=org.freedesktop.Flatpak " +
                              std::string(flatpakAppID(row.browser));
    if (row.state == BrowserRowState::needsSandboxPermission) {
        row.note = "Tavrin Bridge spustí, až mu to povolíte příkazem níže. " +
                   std::string(sandboxPermissionNote);
        row.commands = {grant};
    } else {
        row.note = "Propojte ho a povolte mu spouštět Tavrin Bridge příkazy níže. " +
                   std::string(sandboxPermissionNote);
        row.commands = {"tavrin-bridge install-native-messaging-host --browser " +
                            std::string(rawValue(row.browser)),
                        grant};
    }
}

}  // namespace

BrowsersPresentation presentBrowsers(std::span<const BrowserManifestStatus> statuses,
                                     std::span<const BrowserConnectOutcome> lastOutcomes,
                                     bool justConnectedOnFirstLaunch) {
    BrowsersPresentation presentation;
    for (const BrowserManifestStatus& status : statuses) {
        BrowserRow row{
            status.browser,
            status.installed ? BrowserRowState::connected : BrowserRowState::notConnected,
            {},
            ColourRole::secondary,
            std::string(displayName(status.browser)),
            {},
            status.manifestPath,
            {},
            {},
            {}};
        const auto outcome = std::find_if(
            lastOutcomes.begin(), lastOutcomes.end(),
            [&](const BrowserConnectOutcome& o) { return o.browser == status.browser; });
        if (outcome != lastOutcomes.end()) {
            row.state = stateOf(outcome->result.kind());
            row.failureMessage = outcome->result.message();
        } else if (connection(status.browser) == BrowserConnection::none) {
            row.state = BrowserRowState::cannotConnect;
        } else if (connection(status.browser) == BrowserConnection::flatpakWrapper &&
                   status.installed) {
            // Whether the user granted the sandbox exception cannot be seen.
            row.state = BrowserRowState::needsSandboxPermission;
        }
        explain(row);
        const StateLook look = lookOf(row.state);
        row.symbol = look.symbol;
        row.symbolColour = look.colour;
        row.statusText = std::string(look.text);
        presentation.rows.push_back(std::move(row));
    }

    const bool translocated =
        std::any_of(lastOutcomes.begin(), lastOutcomes.end(), [](const BrowserConnectOutcome& o) {
            return o.result.kind() == OutcomeKind::appNotInApplicationsFolder;
        });
    const bool allConnected =
        std::all_of(presentation.rows.begin(), presentation.rows.end(),
                    [](const BrowserRow& row) { return row.state == BrowserRowState::connected; });
    if (translocated) {
        presentation.banner = translocatedBanner;
    } else if (justConnectedOnFirstLaunch) {
        presentation.banner = firstLaunchBanner;
    } else if (allConnected) {
        presentation.banner = allConnectedBanner;
    }

    if (!allConnected) {
        AdvancedSection advanced{"Pokročilé", connectButtonTitle, {}, {}};
        for (const BrowserRow& row : presentation.rows) {
            if (!row.manifestPath.empty())
                advanced.pathLines.push_back(row.displayName + ": " + row.manifestPath);
            if (row.state == BrowserRowState::failed) {
                advanced.errorLines.push_back("Chyba (" + row.displayName +
                                              "): " + row.failureMessage);
            }
        }
        presentation.advanced = std::move(advanced);
    }
    return presentation;
}

}  // namespace tavrin::host
