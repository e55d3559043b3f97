#pragma once
// The window's ManagementModel over the host's C functions
// (TavrinUiManagementCalls): each call fetches the host's JSON bytes, gives
// them back for release and decodes them into the window's records. A call
// that fails leaves one line on standard error and answers what a missing
// source would (no status, no grants, empty sections).

#include <string>

#include "ui_interface/management_model.h"
#include "ui_interface/management_records_json.h"
#include "ui_interface/ui_module_abi.h"

namespace tavrin::host::ui {

class ManagementCallsModel final : public ManagementModel {
  public:
    explicit ManagementCallsModel(const TavrinUiManagementCalls& calls) : calls_(calls) {}

    std::optional<HostStatus> status() override;
    std::vector<ConsentGrant> grants() override;
    std::optional<std::string> revoke(const std::string& origin) override;
    BrowsersPresentation browsers() override;
    BrowsersPresentation connect() override;
    ReadersAndCards readersAndCards() override;
    std::string diagnosticReport() override;

  private:
    using Call = int32_t (*)(void*, TavrinUiBytes*);
    // The bytes of a call that succeeded; nothing, after the line on
    // standard error, when it failed.
    std::optional<std::string> fetch(Call call, const char* what);

    const TavrinUiManagementCalls& calls_;
    // What the decoded browser sections view; a handful of fixed texts.
    records::KeptTexts kept_;
};

}  // namespace tavrin::host::ui
