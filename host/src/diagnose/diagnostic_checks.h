#pragma once
// The checks behind each section of the diagnostic report. Each reads what
// it needs from the system and writes nothing.

#include <chrono>
#include <string>

#include "browser/manifest_installer.h"
#include "diagnose/diagnostic_report.h"
#include "platform/app_paths.h"
#include "ui_interface/host_status.h"
#include "ui_interface/readers_and_cards.h"

namespace tavrin::host {

// How long one step that may reach a token module may take.
inline constexpr std::chrono::seconds diagnosticStepBound{10};

// The identity store through the store module, each step in a child process:
// the store module itself (for the program section), the registered modules,
// the readers and tokens, the software database.
struct StoreDiagnosis {
    DiagnosticItem storeModule;
    DiagnosticSection identityStore;
    DiagnosticSection readers;
    DiagnosticSection softwareDatabase;
    // Each token module that was not loaded or did not answer, with why.
    std::vector<HostStatus::MiddlewareIssue> moduleIssues;
    // The readers of the section above as plain records, for the window.
    std::vector<ReadersAndCards::Reader> readerList;
};
StoreDiagnosis diagnoseStore(std::chrono::seconds bound);

// The whole report around an examination of the store already made; the
// other sections (program, session, card service, browsers, consent) are
// read now.
DiagnosticReport assembleReport(StoreDiagnosis store);

// Version and commit from the core's build stamp, this executable, and the
// store and user-interface modules (the latter opened without starting Qt).
DiagnosticSection diagnoseProgram(DiagnosticItem storeModule);

// X11 or Wayland, whether the display named by DISPLAY accepts a connection,
// and the desktop portal a snap Firefox needs.
DiagnosticSection diagnoseDesktopSession(const AppPaths& paths);

// Whether the PC/SC service answers on its socket ($PCSCLITE_CSOCK_NAME or
// /run/pcscd/pcscd.comm).
DiagnosticItem diagnosePcscService();

// Each browser of the registry: present or not, its manifests and whether
// they start this executable for the built-in extensions.
DiagnosticSection diagnoseBrowsers(const NativeMessagingManifestInstaller& installer);

// The consent file: where, readable, how many origins, its mode.
DiagnosticSection diagnoseConsentStore(const AppPaths& paths);

}  // namespace tavrin::host
