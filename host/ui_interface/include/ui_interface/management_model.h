#pragma once
// What the management window and its preview show, and the actions they
// offer, as the executable provides them. The user-interface module draws
// this and calls back into it; it never reads files or asks the core itself.
// Each side has its own: the host implements it, the module reads it, and
// between the two it is the C functions of TavrinUiManagementCalls with the
// records as JSON (management_records_json.h). The module links nothing of
// the host.

#include <optional>
#include <string>
#include <vector>

#include "ui_interface/browsers_presentation.h"
#include "ui_interface/consent_grant.h"
#include "ui_interface/host_status.h"
#include "ui_interface/readers_and_cards.h"

namespace tavrin::host {

class ManagementModel {
  public:
    virtual ~ManagementModel() = default;

    // The core's answer to "status", or nothing when it could not be read.
    virtual std::optional<HostStatus> status() = 0;

    // The grants of the consent file, sorted by origin; empty when the file
    // is missing or unreadable.
    virtual std::vector<ConsentGrant> grants() = 0;

    // Removes the origin's grant. Nothing on success, else the description
    // shown after "Souhlas se nepodařilo odvolat: ".
    virtual std::optional<std::string> revoke(const std::string& origin) = 0;

    // The browser section as it stands: the rows, the banner and the
    // advanced section, from the manifests and the last connection outcomes.
    virtual BrowsersPresentation browsers() = 0;

    // Connects the browsers again (synchronously) and returns the browser
    // section afterwards.
    virtual BrowsersPresentation connect() = 0;

    // The readers, their cards and the token modules that do not load, as
    // examined once when the window opened (each module within a bound);
    // `examined` is false where nothing was examined (the preview).
    virtual ReadersAndCards readersAndCards() = 0;

    // The whole diagnostic report as "tavrin-bridge diagnose" prints it: the
    // token modules as examined when the window opened, the rest read now.
    // Empty where nothing was examined.
    virtual std::string diagnosticReport() = 0;
};

}  // namespace tavrin::host
