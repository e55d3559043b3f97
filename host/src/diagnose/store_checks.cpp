// The identity store's part of the report. The store module answers each
// step in a child process (bounded_step.h), so a module that never returns
// costs one step's bound and is named, and the rest of the report goes on.

#include <algorithm>
#include <map>
#include <set>
#include <system_error>

#include "diagnose/bounded_step.h"
#include "diagnose/diagnostic_checks.h"

namespace tavrin::host {
namespace {

using json = nlohmann::ordered_json;
namespace fs = std::filesystem;

struct Module {
    std::string name;
    std::string library;
    std::string source;
    bool fromDatabase = false;
    bool trustOnly = false;
    std::string disabled;
};

// One step's findings, or why the step failed.
struct StepAnswer {
    json storeModule;
    json findings;
    std::string failure;
};

StepAnswer runStep(const std::string& step, const std::string& argument,
                   std::chrono::seconds bound) {
    StepAnswer answer;
    auto output = runBoundedStep({"--diagnose-step", step, argument}, bound);
    if (!output) {
        answer.failure = output.error();
        return answer;
    }
    const json document = json::parse(output.value(), nullptr, false);
    if (!document.is_object()) {
        answer.failure = "the step's answer is not JSON";
        return answer;
    }
    answer.storeModule = document.value("storeModule", json::object());
    if (!answer.storeModule.value("loaded", false)) {
        answer.failure = answer.storeModule.value("reason", std::string("store module not loaded"));
        return answer;
    }
    answer.findings = document.value("findings", json::object());
    if (!answer.findings.is_object()) answer.failure = "the store module's answer is not JSON";
    return answer;
}

std::string libraryKey(const std::string& library) {
    std::error_code error;
    const fs::path real = fs::canonical(library, error);
    return error ? library : real.string();
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// One sentence on what to do about a module that did not load.
std::string moduleTodo(const Module& module, const std::string& reason, bool timedOut) {
    if (timedOut) {
        return "The module did not answer: unplug and replug the reader, restart pcscd, and if it "
               "persists update the card's middleware or remove its registration.";
    }
    std::error_code ignored;
    if (!fs::exists(module.library, ignored) || reason.find("No such file") != std::string::npos) {
        if (module.fromDatabase) {
            return "Install the card's middleware again, or remove the registration with: modutil "
                   "-dbdir sql:" +
                   fs::path(module.source).parent_path().string() + " -delete " +
                   quoted(module.name);
        }
        return "Install the card's middleware again, or remove the module file " + module.source +
               ".";
    }
    return "Check that the card's middleware fits this system (reinstall or update it), or "
           "remove its registration.";
}

void addCertificates(DiagnosticItem& parent, const json& certificates) {
    for (const json& certificate : certificates) {
        DiagnosticItem item{certificate.value("subject", std::string("certificate"))};
        if (certificate.contains("error")) {
            item.fact("readable", false);
            item.note(certificate.value("error", std::string()));
        }
        item.fact("issuer", certificate.value("issuer", std::string("?")));
        item.fact("validFrom", certificate.value("notBefore", std::string("?")));
        item.fact("validUntil", certificate.value("notAfter", std::string("?")));
        item.fact("purposes", certificate.value("purposes", json::array()));
        if (certificate.value("expired", false)) item.note("expired");
        parent.items.push_back(std::move(item));
    }
}

ReadersAndCards::Card cardOf(const json& token) {
    ReadersAndCards::Card card;
    card.label = token.value("label", std::string());
    card.initialized = token.value("initialized", true);
    card.pinLocked = token.value("pinLocked", false);
    card.error = token.value("error", std::string());
    card.signingIdentities = token.value("signing", 0);
    card.authenticationIdentities = token.value("authentication", 0);
    return card;
}

DiagnosticItem tokenItem(const json& token, int& signing, int& authentication) {
    DiagnosticItem item{"token " + quoted(token.value("label", std::string()))};
    item.fact("model", token.value("model", std::string()));
    if (token.contains("error")) {
        item.problem("the token could not be read: " + token.value("error", std::string()),
                     "Take the card out and put it back; if it persists, the card's middleware "
                     "cannot read this card.");
    }
    if (!token.value("initialized", true)) {
        item.note("the token is not initialised: it holds nothing yet");
        return item;
    }
    if (token.value("pinLocked", false)) {
        item.problem("the PIN of this card is blocked",
                     "Unblock the PIN with the card's PUK using the card issuer's tool.");
    }
    const int sign = token.value("signing", 0);
    const int auth = token.value("authentication", 0);
    signing += sign;
    authentication += auth;
    item.fact("signingIdentities", sign);
    item.fact("authenticationIdentities", auth);
    if (sign + auth == 0 && token.value("loginRequired", false)) {
        item.note(
            "this card shows no identity without a login; the bridge lists only what a "
            "card shows without its PIN");
    }
    addCertificates(item, token.value("certificates", json::array()));
    return item;
}

}  // namespace

StoreDiagnosis diagnoseStore(std::chrono::seconds bound) {
    StoreDiagnosis result;
    result.identityStore = {"identityStore", "Identity store", {}};
    result.readers = {"readersAndCards", "Readers and cards", {}};
    result.softwareDatabase = {"softwareDatabase", "Software database", {}};
    result.storeModule.name = "store module";

    const StepAnswer store = runStep("store", "", bound);
    result.storeModule.fact("path", store.storeModule.value("path", std::string("?")));
    result.storeModule.fact("loads", store.storeModule.value("loaded", false));
    if (!store.failure.empty()) {
        result.storeModule.problem(
            "the identity store could not be examined: " + store.failure,
            "Reinstall tavrin-bridge so that libtavrin_bridge_store.so and NSS are in place.");
        return result;
    }
    const json& found = store.findings;

    // Where the identities come from.
    const std::string databaseDir = found.value("databaseDir", std::string());
    DiagnosticItem database{"NSS database"};
    database.fact("path", databaseDir);
    database.fact("exists", found.value("databaseExists", false));
    if (!found.value("databaseExists", false)) {
        database.note("no database here: only the tokens registered with p11-kit are searched");
    }
    result.identityStore.items.push_back(database);

    std::vector<Module> modules;
    for (const json& entry : found.value("databaseModules", json::array())) {
        modules.push_back({entry.value("name", std::string()),
                           entry.value("library", std::string()),
                           entry.value("source", std::string()), true, false, ""});
    }
    for (const json& entry : found.value("p11kitModules", json::array())) {
        modules.push_back(
            {entry.value("name", std::string()), entry.value("library", std::string()),
             entry.value("source", std::string()), false, entry.value("trustOnly", false),
             entry.value("disabled", std::string())});
    }

    // p11-kit's module API (in libp11-kit itself) gives the bridge the
    // modules registered with p11-kit: what matters is which folders it reads.
    DiagnosticItem p11kitItem{"p11-kit module folders"};
    json read = json::array();
    for (const json& folder : found.value("p11kitFolders", json::array())) {
        const std::string path = folder.value("path", std::string());
        if (folder.value("read", true)) {
            read.push_back(path);
        } else {
            p11kitItem.note("p11-kit ignores " + path + " for root");
        }
    }
    p11kitItem.fact("read", read);
    result.identityStore.items.push_back(p11kitItem);

    // Each library once, however many registrations name it.
    std::map<std::string, StepAnswer> examined;
    for (const Module& module : modules) {
        if (module.trustOnly || !module.disabled.empty() || module.library.empty()) continue;
        const std::string key = libraryKey(module.library);
        if (!examined.contains(key))
            examined.emplace(key, runStep("module", module.library, bound));
    }

    int signing = 0;
    int authentication = 0;
    int slots = 0;
    std::set<std::string> readersListed;
    for (const Module& module : modules) {
        DiagnosticItem item{"module " + quoted(module.name)};
        item.fact("registeredIn", module.source);
        item.fact("library", module.library);
        if (module.library.empty()) {
            item.problem("the module file names no library",
                         "Add a \"module:\" line to " + module.source + " or remove the file.");
            result.identityStore.items.push_back(item);
            continue;
        }
        if (module.trustOnly) {
            item.note("a trust module (certificate authorities only): not examined");
            result.identityStore.items.push_back(item);
            continue;
        }
        if (!module.disabled.empty()) {
            item.note("p11-kit leaves it out of this program: " + module.disabled);
            result.identityStore.items.push_back(item);
            continue;
        }
        const std::string key = libraryKey(module.library);
        const StepAnswer& answer = examined.at(key);
        const bool timedOut = answer.failure.rfind("timed out", 0) == 0;
        if (!answer.failure.empty()) {
            item.fact("loads", false);
            result.moduleIssues.push_back({module.name, answer.failure});
            item.problem("examining the module failed: " + answer.failure,
                         moduleTodo(module, answer.failure, timedOut));
            result.identityStore.items.push_back(item);
            continue;
        }
        const json& findings = answer.findings;
        const bool loaded = findings.value("loaded", false);
        item.fact("loads", loaded);
        if (!loaded) {
            const std::string reason = findings.value("reason", std::string("unknown"));
            item.fact("reason", reason);
            result.moduleIssues.push_back({module.name, reason});
            item.problem("the module was not loaded: " + reason, moduleTodo(module, reason, false));
            result.identityStore.items.push_back(item);
            continue;
        }
        if (findings.contains("description"))
            item.fact("description", findings.value("description", std::string()));
        if (findings.contains("slotError"))
            item.note("it lists no slots: " + findings.value("slotError", std::string()));
        result.identityStore.items.push_back(item);

        // Its readers, once per library.
        if (!readersListed.insert(key).second) continue;
        for (const json& slot : findings.value("slots", json::array())) {
            ++slots;
            DiagnosticItem reader{"reader " + quoted(slot.value("description", std::string("?")))};
            reader.fact("module", module.name);
            ReadersAndCards::Reader& listed = result.readerList.emplace_back();
            listed.name = slot.value("description", std::string("?"));
            listed.module = module.name;
            if (slot.contains("error")) {
                listed.error = slot.value("error", std::string());
                reader.problem(
                    "the reader could not be read: " + slot.value("error", std::string()),
                    "Unplug and replug the reader, or restart pcscd.");
                result.readers.items.push_back(reader);
                continue;
            }
            const bool present = slot.value("tokenPresent", false);
            reader.fact("cardPresent", present);
            if (present && slot.contains("token")) {
                reader.fact("pinPad", slot["token"].value("pinPad", false));
                listed.pinPad = slot["token"].value("pinPad", false);
                listed.card = cardOf(slot["token"]);
                reader.items.push_back(tokenItem(slot["token"], signing, authentication));
            } else {
                reader.fact("pinPad", "unknown without a card");
                reader.note("no card in this reader");
            }
            result.readers.items.push_back(std::move(reader));
        }
    }

    // The software database, opened without its modules.
    DiagnosticItem software{"software identities"};
    software.fact("path", databaseDir);
    if (!found.value("databaseExists", false)) {
        software.fact("exists", false);
    } else {
        const StepAnswer answer = runStep("database", databaseDir, bound);
        if (!answer.failure.empty()) {
            software.problem("examining the database failed: " + answer.failure,
                             "Check that the database folder is readable by this user.");
        } else if (!answer.findings.value("opened", false)) {
            software.problem("the database could not be opened: " +
                                 answer.findings.value("reason", std::string()),
                             "Check the files in " + databaseDir +
                                 " (permissions, or a database left by a "
                                 "newer program) and restore a backup if they are damaged.");
        } else {
            const int sign = answer.findings.value("signing", 0);
            const int auth = answer.findings.value("authentication", 0);
            signing += sign;
            authentication += auth;
            software.fact("signingIdentities", sign);
            software.fact("authenticationIdentities", auth);
            if (answer.findings.value("passwordProtected", false))
                software.note("the database has a password: its keys show only after a login");
            addCertificates(software, answer.findings.value("certificates", json::array()));
        }
    }
    result.softwareDatabase.items.push_back(software);

    if (slots == 0) {
        DiagnosticItem none{"readers"};
        none.note("no reader or token is reported by any module");
        result.readers.items.push_back(none);
    }

    DiagnosticItem total{"identities found"};
    total.fact("signing", signing);
    total.fact("authentication", authentication);
    if (signing == 0) {
        total.problem("no identity for signing was found",
                      "Insert the card, make sure its module loads (see above), or import a "
                      "certificate with its key into the NSS database.");
    }
    result.identityStore.items.push_back(total);
    return result;
}

}  // namespace tavrin::host
