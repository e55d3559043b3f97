// Listing and signing over a SoftHSM2 token through the bridge's full
// request path in-process (the PKCS#11 form of the C interface), against
// direct PKCS#11 calls on the same module and token (the floor).
// SOFTHSM2_CONF must name the token's configuration.
//
//   bench_pkcs11 MODULE [benchmark options]

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "../core/src/backend/pkcs11/cryptoki.h"
#include "benchmark_options.h"
#include "bridge_client.h"

namespace tavrin::bench {
namespace {

constexpr const char* kOrigin = "https://bench.example";
constexpr const char* kPin = "1234";

void check(CK_RV rv, const char* step) {
    if (rv != CKR_OK)
        throw std::runtime_error(std::string(step) + " failed: CKR " + std::to_string(rv));
}

// The module as the floor calls it, straight through its function list.
class DirectToken {
  public:
    explicit DirectToken(const std::string& modulePath) {
        // The bridge has loaded the module already: this finds the same copy.
        library_ = dlopen(modulePath.c_str(), RTLD_NOW);
        if (library_ == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
        auto getList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(library_, "C_GetFunctionList"));
        if (getList == nullptr) throw std::runtime_error("no C_GetFunctionList");
        check(getList(&f_), "C_GetFunctionList");
        const CK_RV rv = f_->C_Initialize(nullptr);
        if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) check(rv, "C_Initialize");
        // SoftHSM2 always adds a slot with an uninitialised token: use the
        // first token that is initialised, as the bridge lists it.
        CK_ULONG count = 0;
        check(f_->C_GetSlotList(CK_TRUE, nullptr, &count), "C_GetSlotList");
        std::vector<CK_SLOT_ID> slots(count);
        check(f_->C_GetSlotList(CK_TRUE, slots.data(), &count), "C_GetSlotList");
        bool found = false;
        for (CK_ULONG i = 0; i < count && !found; ++i) {
            CK_TOKEN_INFO info{};
            if (f_->C_GetTokenInfo(slots[i], &info) == CKR_OK &&
                (info.flags & CKF_TOKEN_INITIALIZED) != 0) {
                slot_ = slots[i];
                found = true;
            }
        }
        if (!found) throw std::runtime_error("no initialised token");
    }

    // C_OpenSession, C_Login, C_FindObjects for the private key with
    // `id`, C_SignInit/C_Sign per hash, C_Logout.
    void sign(const std::vector<std::uint8_t>& id, CK_MECHANISM_TYPE mechanism,
              const std::vector<std::uint8_t>& input, int count) {
        CK_SESSION_HANDLE session = 0;
        check(f_->C_OpenSession(slot_, CKF_SERIAL_SESSION, nullptr, nullptr, &session),
              "C_OpenSession");
        check(f_->C_Login(session, CKU_USER,
                          reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(kPin)), 4),
              "C_Login");
        CK_OBJECT_CLASS keyClass = CKO_PRIVATE_KEY;
        CK_ATTRIBUTE search[] = {
            {CKA_CLASS, &keyClass, sizeof keyClass},
            {CKA_ID, const_cast<std::uint8_t*>(id.data()), id.size()},
        };
        check(f_->C_FindObjectsInit(session, search, 2), "C_FindObjectsInit");
        CK_OBJECT_HANDLE key = 0;
        CK_ULONG found = 0;
        check(f_->C_FindObjects(session, &key, 1, &found), "C_FindObjects");
        check(f_->C_FindObjectsFinal(session), "C_FindObjectsFinal");
        if (found == 0) throw std::runtime_error("no private key with that CKA_ID");
        CK_MECHANISM mech{mechanism, nullptr, 0};
        std::vector<CK_BYTE> out(512);
        for (int i = 0; i < count; ++i) {
            check(f_->C_SignInit(session, &mech, key), "C_SignInit");
            CK_ULONG length = out.size();
            check(f_->C_Sign(session, const_cast<CK_BYTE_PTR>(input.data()), input.size(),
                             out.data(), &length),
                  "C_Sign");
            benchmark::DoNotOptimize(out.data());
        }
        check(f_->C_Logout(session), "C_Logout");
        check(f_->C_CloseSession(session), "C_CloseSession");
    }

    // The floor of a listing: every certificate's CKA_VALUE and CKA_ID.
    void list() {
        CK_SESSION_HANDLE session = 0;
        check(f_->C_OpenSession(slot_, CKF_SERIAL_SESSION, nullptr, nullptr, &session),
              "C_OpenSession");
        CK_OBJECT_CLASS certClass = CKO_CERTIFICATE;
        CK_ATTRIBUTE search[] = {{CKA_CLASS, &certClass, sizeof certClass}};
        check(f_->C_FindObjectsInit(session, search, 1), "C_FindObjectsInit");
        CK_OBJECT_HANDLE objects[64];
        CK_ULONG found = 0;
        check(f_->C_FindObjects(session, objects, 64, &found), "C_FindObjects");
        check(f_->C_FindObjectsFinal(session), "C_FindObjectsFinal");
        std::vector<CK_BYTE> value(8192), id(64);
        for (CK_ULONG i = 0; i < found; ++i) {
            CK_ATTRIBUTE read[] = {{CKA_VALUE, value.data(), value.size()},
                                   {CKA_ID, id.data(), id.size()}};
            check(f_->C_GetAttributeValue(session, objects[i], read, 2), "C_GetAttributeValue");
        }
        check(f_->C_CloseSession(session), "C_CloseSession");
    }

  private:
    void* library_ = nullptr;
    CK_FUNCTION_LIST_PTR f_ = nullptr;
    CK_SLOT_ID slot_ = 0;
};

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
    static BridgeClient bridge = BridgeClient::pkcs11(consent, module, kPin);
    static DirectToken direct(module);
    const std::string listRequest =
        std::string(R"({"id":"l","method":"listCertificates","params":{"origin":")") + kOrigin +
        R"(","purpose":"any"}})";
    const nlohmann::json listing = bridge.askOk(listRequest);
    measure("p11_list/" + std::to_string(listing["result"]["certificates"].size()) + "/bridge",
            [listRequest] { bridge.askOk(listRequest); });
    measure("p11_list/" + std::to_string(listing["result"]["certificates"].size()) + "/floor",
            [] { direct.list(); });

    struct Key {
        const char* name;
        const char* algorithm;
        const char* scheme;
        std::vector<std::uint8_t> id;
        CK_MECHANISM_TYPE mechanism;
    };
    std::vector<std::uint8_t> digestInfo{0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                         0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
    digestInfo.insert(digestInfo.end(), benchHash().begin(), benchHash().end());
    for (const Key& key : {Key{"rsa2048", "rsa2048", "rsa-pkcs1", {0x01}, CKM_RSA_PKCS},
                           Key{"p256", "ec-p256", "ecdsa", {0x03}, CKM_ECDSA}}) {
        const nlohmann::json cert = findCertificate(listing, key.algorithm);
        const std::vector<std::uint8_t> input =
            key.mechanism == CKM_RSA_PKCS ? digestInfo : benchHash();
        for (const int count : {1, 50}) {
            const std::string request = signRequest(kOrigin, cert["certId"], key.scheme, count);
            const std::string name =
                std::string("p11_sign/") + key.name + "x" + std::to_string(count);
            bridge.askOk(request);
            direct.sign(key.id, key.mechanism, input, 1);
            measure(name + "/bridge", [request] { bridge.askOk(request); });
            const CK_MECHANISM_TYPE mechanism = key.mechanism;
            const std::vector<std::uint8_t> id = key.id;
            measure(name + "/floor",
                    [id, mechanism, input, count] { direct.sign(id, mechanism, input, count); });
        }
    }

    runRegisteredBenchmarks(argc, argv, 2);
    // The consent store leaves its lock file beside the file.
    std::filesystem::remove(consent);
    std::filesystem::remove(consent + ".lock");
    return 0;
}

}  // namespace
}  // namespace tavrin::bench

int main(int argc, char** argv) {
    return tavrin::bench::driverMain("bench_pkcs11", tavrin::bench::run, argc, argv);
}
