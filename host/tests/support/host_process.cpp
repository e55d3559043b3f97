#include "support/host_process.h"

#include <thread>

#include <nlohmann/json.hpp>

#include "tests/support/signature_check.h"

namespace tavrin::host::testing {

std::vector<std::vector<std::uint8_t>> HostSession::sendSign(
    const std::string& origin, const std::string& certId,
    std::vector<std::vector<std::uint8_t>> hashes, const std::string& scheme) {
    nlohmann::json encoded = nlohmann::json::array();
    for (const auto& hash : hashes)
        encoded.push_back(to_base64(hash));
    send(nlohmann::json{{"id", "s"},
                        {"method", "sign"},
                        {"params",
                         {{"origin", origin},
                          {"certId", certId},
                          {"hashAlg", "SHA-256"},
                          {"scheme", scheme},
                          {"hashes", encoded}}}}
             .dump());
    return hashes;
}

ProcessResult runHost(const HostRun& run) {
    ChildSpec spec{.argv = run.launcher, .base = Environment::isolated, .env = run.environment};
    spec.argv.push_back(TAVRIN_BRIDGE_EXE);
    spec.argv.insert(spec.argv.end(), run.arguments.begin(), run.arguments.end());
    spec.env["HOME"] = run.home.string();
    spec.in = spec.out = spec.err = Stream::pipe;
    Child child(spec);

    ProcessResult result;
    std::thread errReader([&] { result.err = drain(child.err()); });
    if (run.closeStdoutEarly) child.closeOut();
    if (run.session) {
        HostSession session(child);
        run.session(session);
    }
    std::thread outReader([&] { result.out = child.readOut(); });
    child.closeIn();
    outReader.join();
    errReader.join();
    child.wait();
    result.exitStatus = child.exitStatus();
    result.signal = child.termSignal();
    return result;
}

}  // namespace tavrin::host::testing
