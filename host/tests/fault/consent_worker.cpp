// A host process reduced to what the consent fault tests need: a dispatcher
// created through the core's C interface whose consent prompt always grants.
//
//   consent_worker CONSENT_PATH grant ORIGIN...
//       lists certificates for each origin in turn, so each one is granted
//       and persisted; exits 0 when every grant went in, else prints the
//       first failing reply and exits 1.
//   consent_worker CONSENT_PATH grant-then-status ORIGIN
//       one grant, then a status request; prints both replies, one a line,
//       and exits 0 when the status was answered.
//
// HOME must point at a folder without an identity database, so that each
// listing is empty and only the consent path is exercised.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tavrin_bridge.h"

namespace {

int32_t grantAlways(const char*, const char*, void*) {
    return 1;
}
char* noPin(const char*, const char*, uint32_t, void*) {
    return nullptr;
}
int32_t refuseSigning(const char*, const char*, uint32_t, void*) {
    return 0;
}

std::string ask(DispatcherHandle* dispatcher, const std::string& request) {
    std::size_t length = 0;
    uint8_t* reply = tavrin_bridge_handle_request(
        dispatcher, reinterpret_cast<const uint8_t*>(request.data()), request.size(), &length);
    std::string text(reinterpret_cast<const char*>(reply), length);
    tavrin_bridge_free_buffer(reply, length);
    return text;
}

std::string listingFor(const std::string& origin) {
    return R"({"id":"l","method":"listCertificates","params":{"origin":")" + origin +
           R"(","purpose":"sign"}})";
}

bool isResult(const std::string& reply) {
    return reply.find("\"result\"") != std::string::npos;
}

// The identity store is empty, so a listing whose grant went in ends in
// "no_certificates"; any other error means the grant failed.
bool granted(const std::string& reply) {
    return isResult(reply) || reply.find("\"code\":\"no_certificates\"") != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: consent_worker CONSENT_PATH grant|grant-then-status ORIGIN...\n",
                   stderr);
        return 2;
    }
    const TavrinBridgeCallbacks callbacks{grantAlways, noPin, refuseSigning, nullptr};
    DispatcherHandle* dispatcher = tavrin_bridge_create_keychain(argv[1], &callbacks);
    if (dispatcher == nullptr) {
        std::fputs("consent_worker: the dispatcher could not be created\n", stderr);
        return 3;
    }
    int status = 0;
    if (std::strcmp(argv[2], "grant") == 0) {
        for (int i = 3; i < argc && status == 0; ++i) {
            const std::string reply = ask(dispatcher, listingFor(argv[i]));
            if (!granted(reply)) {
                std::printf("%s\n", reply.c_str());
                status = 1;
            }
        }
    } else if (std::strcmp(argv[2], "grant-then-status") == 0) {
        std::printf("%s\n", ask(dispatcher, listingFor(argv[3])).c_str());
        const std::string reply = ask(dispatcher, R"({"id":"s","method":"status","params":{}})");
        std::printf("%s\n", reply.c_str());
        status = isResult(reply) ? 0 : 1;
    } else {
        std::fprintf(stderr, "consent_worker: unknown command %s\n", argv[2]);
        status = 2;
    }
    tavrin_bridge_destroy(dispatcher);
    return status;
}
