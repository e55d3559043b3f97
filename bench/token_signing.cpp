// A smart card seen through the identity store: listing and signing one hash
// with a SoftHSM2 token registered in the NSS database of HOME, through the
// bridge's full request path in-process (the PIN supplied at once), against
// the same work done straight through PKCS#11 on the same token (the floor).
// SOFTHSM2_CONF must name the token's configuration.
//
//   bench_token MODULE [benchmark options]

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "benchmark_options.h"
#include "bridge_client.h"
#include "direct_token.h"

namespace tavrin::bench {
namespace {

constexpr const char* kOrigin = "https://bench.example";
constexpr const char* kPin = "1234";

int run(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: bench_token MODULE [benchmark options]\n";
        return 2;
    }
    const std::string consent =
        (std::filesystem::temp_directory_path() /
         ("tavrin-bench-token-consent-" + std::to_string(getpid()) + ".json"))
            .string();
    std::filesystem::remove(consent);
    // Not static: SoftHSM2's own globals go before static objects made
    // earlier, and the bridge must finalise the module while they exist.
    BridgeClient bridge = BridgeClient::keychain(consent, kPin);
    const std::string listRequest =
        std::string(R"({"id":"l","method":"listCertificates","params":{"origin":")") + kOrigin +
        R"(","purpose":"any"}})";
    // The first listing opens the store and loads the token modules.
    const nlohmann::json listing = bridge.askOk(listRequest);
    DirectToken direct(argv[1], kPin);
    const std::string count = std::to_string(listing["result"]["certificates"].size());
    measure("token_list/" + count + "/bridge",
            [&bridge, listRequest] { bridge.askOk(listRequest); });
    measure("token_list/" + count + "/floor", [&direct] { direct.list(); });

    struct Key {
        const char* name;
        const char* algorithm;
        const char* scheme;
        std::vector<std::uint8_t> id;
        CK_MECHANISM_TYPE mechanism;
        std::vector<std::uint8_t> input;
    };
    for (const Key& key :
         {Key{"rsa2048", "rsa2048", "rsa-pkcs1", {0x01}, CKM_RSA_PKCS, rsaSignatureInput()},
          Key{"p256", "ec-p256", "ecdsa", {0x03}, CKM_ECDSA, benchHash()}}) {
        const nlohmann::json cert = findCertificate(listing, key.algorithm);
        const std::string request = signRequest(kOrigin, cert["certId"], key.scheme, 1);
        measureSigning(bridge, std::string("token_sign/") + key.name + "x1", request,
                       [&direct, key] { direct.sign(key.id, key.mechanism, key.input, 1); });
    }

    runAndCleanUp(argc, argv, 2, consent);
    return 0;
}

}  // namespace
}  // namespace tavrin::bench

int main(int argc, char** argv) {
    return tavrin::bench::driverMain("bench_token", tavrin::bench::run, argc, argv);
}
