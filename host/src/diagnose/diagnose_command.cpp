#include "diagnose/diagnose_command.h"

#include <iostream>
#include <string_view>

#include "diagnose/diagnostic_checks.h"
#include "tavrin_bridge.h"

namespace tavrin::host::DiagnoseCommand {
namespace {

constexpr std::string_view command = "diagnose";
constexpr std::string_view stepOption = "--diagnose-step";

// In the child: one store step, its JSON on standard output.
std::int32_t runStep(std::span<const std::string> arguments, std::ostream& out) {
    const std::string step = arguments.size() > 2 ? arguments[2] : "";
    const std::string argument = arguments.size() > 3 ? arguments[3] : "";
    char* answer = tavrin_bridge_examine_store(step.c_str(), argument.c_str());
    out << answer << std::flush;
    tavrin_bridge_free_string(answer);
    return 0;
}

}  // namespace

std::optional<std::int32_t> run(std::span<const std::string> arguments, std::ostream& out,
                                std::ostream& err) {
    if (arguments.size() < 2) return std::nullopt;
    if (arguments[1] == stepOption) return runStep(arguments, out);
    if (arguments[1] != command) return std::nullopt;

    bool json = false;
    for (const std::string& option : arguments.subspan(2)) {
        if (option == "--json") {
            json = true;
            continue;
        }
        err << "tavrin-bridge: unknown diagnose option '" << option << "' (expected: --json)\n"
            << std::flush;
        return 2;
    }
    const DiagnosticReport report = assembleReport(diagnoseStore(diagnosticStepBound));
    if (json) {
        out << report.json().dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
            << '\n';
    } else {
        out << report.text();
    }
    out << std::flush;
    return report.problemCount() == 0 ? 0 : 1;
}

std::optional<std::int32_t> run(std::span<const std::string> arguments) {
    return run(arguments, std::cout, std::cerr);
}

}  // namespace tavrin::host::DiagnoseCommand
