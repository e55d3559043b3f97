#pragma once
// The executable's side of the management window: the core's status, the
// consent file and the browsers' manifests, handed to the user-interface
// module through ManagementModel.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "browser/browser_connector.h"
#include "diagnose/diagnostic_checks.h"
#include "ui_interface/management_model.h"

namespace tavrin::host {

class ManagementModelImpl final : public ManagementModel {
  public:
    // `lastOutcomes`: those of the connection run at launch (nothing for
    // the preview, which connects nothing); `justRanAutomatically`: that run
    // was the first ever. `executablePath` is written into manifests when
    // the user connects the browsers again. `examineModules`: the status
    // names the token modules that do not load and the readers card lists
    // what the diagnose command finds (the window; the preview, which must
    // show no machine's modules and load none, examines nothing).
    ManagementModelImpl(std::string executablePath,
                        std::optional<std::vector<BrowserConnectOutcome>> lastOutcomes,
                        bool justRanAutomatically, bool examineModules);

    // How long the window waits for one token module while it opens.
    static constexpr std::chrono::seconds windowStepBound{3};
    // The request the window sends to the core's stateless dispatch.
    static constexpr std::string_view statusRequest =
        R"({"id":"gui-status","method":"status","params":{}})";

    std::optional<HostStatus> status() override;
    std::vector<ConsentGrant> grants() override;
    std::optional<std::string> revoke(const std::string& origin) override;
    BrowsersPresentation browsers() override;
    BrowsersPresentation connect() override;
    ReadersAndCards readersAndCards() override;
    std::string diagnosticReport() override;

  private:
    // The identity store and the card service, examined on first use (the
    // window opening) and kept: each module costs up to windowStepBound.
    struct Examination {
        StoreDiagnosis store;
        bool cardServiceAnswers = false;
    };
    const Examination* examination();

    std::optional<Examination> examination_;
    std::string executablePath_;
    bool examineModules_;
    std::optional<std::vector<BrowserConnectOutcome>> lastOutcomes_;
    bool justRanAutomatically_;
};

}  // namespace tavrin::host
