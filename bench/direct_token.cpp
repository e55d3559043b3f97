#include "direct_token.h"

#include <dlfcn.h>

#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>

#include "bridge_client.h"

namespace tavrin::bench {
namespace {

void check(CK_RV rv, const char* step) {
    if (rv != CKR_OK)
        throw std::runtime_error(std::string(step) + " failed: CKR " + std::to_string(rv));
}

}  // namespace

DirectToken::DirectToken(const std::string& modulePath, std::string pin) : pin_(std::move(pin)) {
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

void DirectToken::sign(const std::vector<std::uint8_t>& id, CK_MECHANISM_TYPE mechanism,
                       const std::vector<std::uint8_t>& input, int count) {
    CK_SESSION_HANDLE session = 0;
    check(f_->C_OpenSession(slot_, CKF_SERIAL_SESSION, nullptr, nullptr, &session),
          "C_OpenSession");
    check(
        f_->C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(pin_.data()), pin_.size()),
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
        check(f_->C_Sign(session, const_cast<CK_BYTE_PTR>(input.data()), input.size(), out.data(),
                         &length),
              "C_Sign");
        benchmark::DoNotOptimize(out.data());
    }
    check(f_->C_Logout(session), "C_Logout");
    check(f_->C_CloseSession(session), "C_CloseSession");
}

void DirectToken::list() {
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

std::vector<std::uint8_t> rsaSignatureInput() {
    std::vector<std::uint8_t> input{0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                    0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
    input.insert(input.end(), benchHash().begin(), benchHash().end());
    return input;
}

}  // namespace tavrin::bench
