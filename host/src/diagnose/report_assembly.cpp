// The report's sections in their order, around the identity store's part,
// which the caller examined (the command just before, the window when it
// opened).

#include "browser/manifest_installer.h"
#include "diagnose/diagnostic_checks.h"

namespace tavrin::host {

DiagnosticReport assembleReport(StoreDiagnosis store) {
    const AppPaths paths = AppPaths::fromProcess();
    store.readers.items.insert(store.readers.items.begin(), diagnosePcscService());

    DiagnosticReport report;
    report.sections.push_back(diagnoseProgram(std::move(store.storeModule)));
    report.sections.push_back(diagnoseDesktopSession(paths));
    report.sections.push_back(std::move(store.identityStore));
    report.sections.push_back(std::move(store.readers));
    report.sections.push_back(std::move(store.softwareDatabase));
    report.sections.push_back(
        diagnoseBrowsers(NativeMessagingManifestInstaller::withDefaultFolders("/proc/self/exe")));
    report.sections.push_back(diagnoseConsentStore(paths));
    return report;
}

}  // namespace tavrin::host
