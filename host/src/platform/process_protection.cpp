#include "platform/process_protection.h"

#include <sys/prctl.h>
#include <sys/resource.h>

#include <cerrno>
#include <system_error>

namespace tavrin::host {

std::string protectProcessMemory() {
    const rlimit noCore{0, 0};
    if (::setrlimit(RLIMIT_CORE, &noCore) != 0) {
        return "set the core-file limit to zero: " + std::generic_category().message(errno);
    }
    if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) {
        return "make the process non-dumpable: " + std::generic_category().message(errno);
    }
    return {};
}

}  // namespace tavrin::host
