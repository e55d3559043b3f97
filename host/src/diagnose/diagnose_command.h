#pragma once
// "tavrin-bridge diagnose [--json]": checks the whole chain read-only (no
// PIN, no login, no display needed, no file written) and prints a report a
// user can paste into a support request. Exit status 0 when nothing is
// wrong, 1 when a problem was found, 2 for bad usage.
//
// The steps that reach token modules run in child processes started with
// the hidden "--diagnose-step STEP ARGUMENT", each ended when it overruns.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>

namespace tavrin::host::DiagnoseCommand {

// nullopt when argument 1 is neither "diagnose" nor the hidden step;
// otherwise the exit status, after writing the report to `out` (usage errors
// as one line on `err`).
std::optional<std::int32_t> run(std::span<const std::string> arguments, std::ostream& out,
                                std::ostream& err);
std::optional<std::int32_t> run(std::span<const std::string> arguments);

}  // namespace tavrin::host::DiagnoseCommand
