// A host process reduced to what the consent fault tests need: a dispatcher
// created through the core's C interface whose consent prompt always grants.
//
//   consent_worker CONSENT_PATH ORIGIN|status...
//       lists certificates for each origin in turn, so that its grant is
//       persisted, or asks for the status; prints each reply on a line and
//       exits 0 when every grant went in and every status was answered.
//
// HOME must point at a folder without an identity database, so that each
// listing is empty ("no_certificates" once admitted) and only the consent
// path is exercised.

#include <cstdio>
#include <cstring>
#include <string>

#include "tavrin_bridge.h"

namespace {

std::string ask(DispatcherHandle* dispatcher, const std::string& request) {
    std::size_t length = 0;
    uint8_t* reply = tavrin_bridge_handle_request(
        dispatcher, reinterpret_cast<const uint8_t*>(request.data()), request.size(), &length);
    std::string text(reinterpret_cast<const char*>(reply), length);
    tavrin_bridge_free_buffer(reply, length);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: consent_worker CONSENT_PATH ORIGIN|status...\n", stderr);
        return 2;
    }
    // Consent is always granted; nothing is ever signed.
    const TavrinBridgeCallbacks callbacks{
        [](const char*, const char*, void*) -> int32_t { return 1; },
        [](const char*, const char*, uint32_t, void*) -> char* { return nullptr; },
        [](const char*, const char*, uint32_t, void*) -> int32_t { return 0; }, nullptr};
    DispatcherHandle* dispatcher = tavrin_bridge_create_keychain(argv[1], &callbacks);
    if (dispatcher == nullptr) {
        std::fputs("consent_worker: the dispatcher could not be created\n", stderr);
        return 3;
    }
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string reply =
            std::strcmp(argv[i], "status") == 0
                ? ask(dispatcher, R"({"id":"s","method":"status","params":{}})")
                : ask(dispatcher, R"({"id":"l","method":"listCertificates","params":{"origin":")" +
                                      std::string(argv[i]) + R"(","purpose":"sign"}})");
        std::printf("%s\n", reply.c_str());
        if (reply.find("\"result\"") == std::string::npos &&
            reply.find("\"code\":\"no_certificates\"") == std::string::npos)
            status = 1;
    }
    tavrin_bridge_destroy(dispatcher);
    return status;
}
