// Listing and signing over a SoftHSM2 token through the bridge's full
// request path in-process (the PKCS#11 form of the C interface), against
// direct PKCS#11 calls on the same module and token (the floor).
// SOFTHSM2_CONF must name the token's configuration.
//
//   bench_pkcs11 MODULE [benchmark options]

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "benchmark_options.h"
#include "bridge_client.h"
#include "direct_token.h"

namespace tavrin::bench {
namespace {

constexpr const char* kOrigin = "https://bench.example";
constexpr const char* kPin = "1234";

int run(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: bench_pkcs11 MODULE [benchmark options]\n";
        return 2;
    }
    const std::string module = argv[1];
    const std::string consent = (std::filesystem::temp_directory_path() /
                                 ("tavrin-bench-p11-consent-" + std::to_string(getpid()) + ".json"))
                                    .string();
    std::filesystem::remove(consent);
    // Not static: see bench_token.
    BridgeClient bridge = BridgeClient::pkcs11(consent, module, kPin);
    DirectToken direct(module, kPin);
    const std::string listRequest =
        std::string(R"({"id":"l","method":"listCertificates","params":{"origin":")") + kOrigin +
        R"(","purpose":"any"}})";
    const nlohmann::json listing = bridge.askOk(listRequest);
    measure("p11_list/" + std::to_string(listing["result"]["certificates"].size()) + "/bridge",
            [&bridge, listRequest] { bridge.askOk(listRequest); });
    measure("p11_list/" + std::to_string(listing["result"]["certificates"].size()) + "/floor",
            [&direct] { direct.list(); });

    struct Key {
        const char* name;
        const char* algorithm;
        const char* scheme;
        std::vector<std::uint8_t> id;
        CK_MECHANISM_TYPE mechanism;
    };
    const std::vector<std::uint8_t> digestInfo = rsaSignatureInput();
    for (const Key& key : {Key{"rsa2048", "rsa2048", "rsa-pkcs1", {0x01}, CKM_RSA_PKCS},
                           Key{"p256", "ec-p256", "ecdsa", {0x03}, CKM_ECDSA}}) {
        const nlohmann::json cert = findCertificate(listing, key.algorithm);
        const std::vector<std::uint8_t> input =
            key.mechanism == CKM_RSA_PKCS ? digestInfo : benchHash();
        for (const int count : {1, 50}) {
            const std::string request = signRequest(kOrigin, cert["certId"], key.scheme, count);
            direct.sign(key.id, key.mechanism, input, 1);  // the floor too fails early
            measureSigning(
                bridge, std::string("p11_sign/") + key.name + "x" + std::to_string(count), request,
                [&direct, id = key.id, mechanism = key.mechanism, input, count] {
                    direct.sign(id, mechanism, input, count);
                });
        }
    }

    runAndCleanUp(argc, argv, 2, consent);
    return 0;
}

}  // namespace
}  // namespace tavrin::bench

int main(int argc, char** argv) {
    return tavrin::bench::driverMain("bench_pkcs11", tavrin::bench::run, argc, argv);
}
