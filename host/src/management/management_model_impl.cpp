#include "management/management_model_impl.h"

#include "bridge/dispatcher_bridge.h"
#include "browser/browser_manifest_status.h"
#include "browser/connection_presentation.h"
#include "browser/manifest_installer.h"
#include "consent_records/consent_store_file.h"
#include "management/host_status.h"
#include "platform/identity_store_location.h"

namespace tavrin::host {

ManagementModelImpl::ManagementModelImpl(
    std::string executablePath, std::optional<std::vector<BrowserConnectOutcome>> lastOutcomes,
    bool justRanAutomatically, bool examineModules)
    : executablePath_(std::move(executablePath)),
      examineModules_(examineModules),
      lastOutcomes_(std::move(lastOutcomes)),
      justRanAutomatically_(justRanAutomatically) {}

std::optional<HostStatus> ManagementModelImpl::status() {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(statusRequest.data());
    const std::vector<std::uint8_t> reply =
        NativeBridge::dispatch(std::span<const std::uint8_t>(bytes, statusRequest.size()));
    std::optional<HostStatus> status = decodeHostStatus(reply);
    if (status) status->certificateDatabase = identityStoreDatabase();
    // The window shows the token modules that do not load, each examined in
    // a child process of its own as the diagnose command does; a host that a
    // browser starts answers "status" without any of this.
    if (status) {
        if (const Examination* examined = examination())
            status->middlewareIssues.insert(status->middlewareIssues.end(),
                                            examined->store.moduleIssues.begin(),
                                            examined->store.moduleIssues.end());
    }
    return status;
}

const ManagementModelImpl::Examination* ManagementModelImpl::examination() {
    if (!examineModules_) return nullptr;
    if (!examination_) {
        Examination examined{diagnoseStore(windowStepBound), false};
        examined.cardServiceAnswers = diagnosePcscService().facts.value("answers", false);
        examination_ = std::move(examined);
    }
    return &*examination_;
}

ReadersAndCards ManagementModelImpl::readersAndCards() {
    ReadersAndCards shown;
    const Examination* examined = examination();
    if (examined == nullptr) return shown;
    shown.examined = true;
    shown.cardServiceAnswers = examined->cardServiceAnswers;
    shown.readers = examined->store.readerList;
    shown.moduleIssues = examined->store.moduleIssues;
    return shown;
}

std::string ManagementModelImpl::diagnosticReport() {
    const Examination* examined = examination();
    if (examined == nullptr) return {};
    return assembleReport(examined->store).text();
}

std::vector<ConsentGrant> ManagementModelImpl::grants() {
    return ConsentStoreFile::list();
}

std::optional<std::string> ManagementModelImpl::revoke(const std::string& origin) {
    auto revoked = ConsentStoreFile::revoke(origin);
    if (!revoked) return revoked.error().description;
    return std::nullopt;
}

BrowsersPresentation ManagementModelImpl::browsers() {
    const std::vector<BrowserManifestStatus> statuses = BrowserManifestStatus::all();
    const std::vector<BrowserConnectOutcome> none;
    return presentBrowsers(statuses, lastOutcomes_ ? *lastOutcomes_ : none, justRanAutomatically_);
}

BrowsersPresentation ManagementModelImpl::connect() {
    const auto installer = NativeMessagingManifestInstaller::withDefaultFolders(executablePath_);
    lastOutcomes_ = BrowserConnector::connectAll(installer);
    justRanAutomatically_ = false;
    return browsers();
}

}  // namespace tavrin::host
