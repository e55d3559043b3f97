// The consent file: the grants the web origins hold.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "diagnose/diagnostic_checks.h"
#include "tavrin_bridge.h"

namespace tavrin::host {

DiagnosticSection diagnoseConsentStore(const AppPaths& paths) {
    DiagnosticSection section{"consentStore", "Consent store", {}};
    DiagnosticItem item{"consent.json"};
    const std::string path = (paths.applicationDataDirectory() / "consent.json").string();
    item.fact("path", path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        item.fact("exists", false);
        item.note("no origin holds a grant yet");
        section.items.push_back(item);
        return section;
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    item.fact("mode", mode);
    if (!S_ISREG(st.st_mode)) {
        item.problem("it is not a regular file", "Move " + path +
                                                     " aside; grants are then asked "
                                                     "for again.");
        section.items.push_back(item);
        return section;
    }
    std::ifstream in(path);
    item.fact("readable", static_cast<bool>(in));
    if (!in) {
        item.problem(
            "it cannot be read: " + std::string(std::strerror(errno)),
            "Give the file back to this user: chown $USER " + path + " && chmod 600 " + path);
        section.items.push_back(item);
        return section;
    }
    // Read as the hosts read it: a file they refuse stops every host.
    char* why = nullptr;
    const long long origins = tavrin_bridge_count_grants(path.c_str(), &why);
    if (origins < 0) {
        item.problem("it is not a valid consent file, so no host starts" +
                         (why != nullptr ? ": " + std::string(why) : std::string()),
                     "Move " + path + " aside; each page then asks for access again.");
    } else {
        item.fact("origins", origins);
    }
    tavrin_bridge_free_string(why);
    if ((st.st_mode & 077) != 0) {
        item.problem("other users may read or change it (mode " + std::string(mode) + ")",
                     "Run: chmod 600 " + path);
    }
    section.items.push_back(item);
    return section;
}

}  // namespace tavrin::host
