#pragma once
// Keeps a process that handles PINs out of core files: the system may not
// write its memory to a core file, and other processes of the same user may
// not read it through /proc or a debugger.

#include <string>

namespace tavrin::host {

// Makes the calling process non-dumpable and sets its core-file limit to
// zero. Returns "" on success, else the step that failed and why (the host
// carries on: the protection is a precaution, not a precondition).
std::string protectProcessMemory();

}  // namespace tavrin::host
