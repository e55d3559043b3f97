#pragma once
// Runs one step of the report in a child process (this executable again,
// with the step's hidden arguments) and ends it when it overruns its time:
// a token module whose C_Initialize never returns must not hang the report.

#include <chrono>
#include <string>
#include <vector>

#include "common/result.h"

namespace tavrin::host {

// The child's standard output once it exits with status 0; otherwise the
// reason, e.g. "timed out after 10 s" or "exited with status 1: <its last
// line of standard error>". `arguments` follow argument 0.
Result<std::string, std::string> runBoundedStep(const std::vector<std::string>& arguments,
                                                std::chrono::seconds bound);

}  // namespace tavrin::host
