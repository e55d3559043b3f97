// The C interface through the public header and the shared library only:
// creation failures of both dispatcher forms, and the PKCS#11 form over a real
// SoftHSM2 token with scripted host prompts. The Keychain form is the one the
// host's executable creates, so every host test runs it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "support/softhsm_token.h"
#include "tavrin_bridge.h"

namespace {

using nlohmann::json;
using tavrin::testing::TempDir;

// The host's PIN prompt: counts the prompts in the int `data` points to.
char* on_pin(const char*, const char*, uint32_t, void* data) {
    ++*static_cast<int*>(data);
    return strdup(tavrin::testing::kTokenPin);
}

class CapiTest : public ::testing::Test {
  protected:
    json ask(DispatcherHandle* handle, const json& request) {
        const std::string bytes = request.dump();
        size_t length = 0;
        uint8_t* reply = tavrin_bridge_handle_request(
            handle, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &length);
        json parsed = json::parse(reply, reply + length);
        tavrin_bridge_free_buffer(reply, length);
        return parsed;
    }

    tavrin::testing::SoftHsmTokens tokens{"main"};
    TempDir dir;
    int pins = 0;
    // Consent is given; a confirmation would be declined: the PKCS#11 form asks the PIN instead.
    TavrinBridgeCallbacks callbacks{
        [](const char*, const char*, void*) -> int32_t { return 1; }, on_pin,
        [](const char*, const char*, uint32_t, void*) -> int32_t { return 0; }, &pins};
};

TEST_F(CapiTest, CreationFailuresSayWhyAndChangeNothing) {
    const std::string module = TAVRIN_SOFTHSM_MODULE;
    tavrin::testing::write_file(dir.file("broken.json"), "{");
    struct Row {
        std::string consent;
        std::string module;
        std::string expected_start;
    };
    const Row rows[] = {
        {dir.file("c.json"), "/nonexistent/pkcs11.so", "required middleware not found: "},
        {dir.file("new/\xff/c.json"), module, "consent store path is not valid UTF-8"},
        {dir.file("broken.json"), module, "cannot open consent store: "},
    };
    for (const Row& row : rows) {
        static char untouched = 0;
        char* error = &untouched;
        EXPECT_EQ(tavrin_bridge_create_pkcs11(row.consent.c_str(), row.module.c_str(), &callbacks,
                                              &error),
                  nullptr);
        ASSERT_TRUE(error != nullptr && error != &untouched);
        EXPECT_THAT(error, ::testing::StartsWith(row.expected_start));
        tavrin_bridge_free_string(error);
        EXPECT_EQ(tavrin_bridge_create_pkcs11(row.consent.c_str(), row.module.c_str(), &callbacks,
                                              nullptr),
                  nullptr);
        if (row.module == module) {
            EXPECT_EQ(tavrin_bridge_create_keychain(row.consent.c_str(), &callbacks), nullptr);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("new")));
    EXPECT_EQ(tavrin::testing::read_file(dir.file("broken.json")), "{");
}

TEST_F(CapiTest, Pkcs11FormListsWithConsentAndSignsWithTheHostsPin) {
    char* error = nullptr;
    DispatcherHandle* handle = tavrin_bridge_create_pkcs11(
        dir.file("consent.json").c_str(), TAVRIN_SOFTHSM_MODULE, &callbacks, &error);
    ASSERT_NE(handle, nullptr) << error;
    EXPECT_EQ(error, nullptr);
    EXPECT_EQ(ask(handle, {{"id", "s"}, {"method", "status"}})["result"]["backends"],
              json::array({"pkcs11"}));
    const json listed = ask(handle, json::parse(R"({"id": "l", "method": "listCertificates",
        "params": {"origin": "https://shop.example", "purpose": "sign"}})"));
    ASSERT_EQ(listed["result"]["certificates"].size(), 3u) << listed;
    json sign = json::parse(R"({"id": "g", "method": "sign", "params": {
        "origin": "https://shop.example", "hashAlg": "SHA-256", "scheme": "rsa-pkcs1",
        "hashes": ["WlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlo=",
                   "WlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlpaWlo="]}})");
    for (const json& cert : listed["result"]["certificates"]) {
        EXPECT_EQ(cert["backend"], "pkcs11");
        if (cert["keyAlgorithm"] != "rsa2048") continue;
        sign["params"]["certId"] = cert["certId"];
        const json reply = ask(handle, sign);
        EXPECT_EQ(reply["result"]["signatures"].size(), 2u) << reply;
    }
    EXPECT_EQ(pins, 1);
    tavrin_bridge_destroy(handle);
}

}  // namespace
