#include "bridge_client.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tavrin::bench {
namespace {

int32_t grant(const char*, const char*, void*) {
    return 1;
}
char* supplyPin(const char*, const char*, uint32_t, void* data) {
    return strdup(static_cast<const std::string*>(data)->c_str());
}
int32_t confirm(const char*, const char*, uint32_t, void*) {
    return 1;
}

}  // namespace

BridgeClient BridgeClient::keychain(const std::string& consentPath, std::string pin) {
    BridgeClient client;
    client.answers_ = new Answers{std::move(pin)};
    client.callbacks_ = {grant, supplyPin, confirm, &client.answers_->pin};
    client.handle_ = tavrin_bridge_create_keychain(consentPath.c_str(), &client.callbacks_);
    if (client.handle_ == nullptr)
        throw std::runtime_error("creating the keychain dispatcher failed (consent file " +
                                 consentPath + ")");
    return client;
}

BridgeClient BridgeClient::pkcs11(const std::string& consentPath, const std::string& modulePath,
                                  std::string pin) {
    BridgeClient client;
    client.answers_ = new Answers{std::move(pin)};
    client.callbacks_ = {grant, supplyPin, confirm, &client.answers_->pin};
    char* error = nullptr;
    client.handle_ = tavrin_bridge_create_pkcs11(consentPath.c_str(), modulePath.c_str(),
                                                 &client.callbacks_, &error);
    if (client.handle_ == nullptr) {
        const std::string why = error != nullptr ? error : "no reason given";
        tavrin_bridge_free_string(error);
        throw std::runtime_error("creating the PKCS#11 dispatcher failed: " + why);
    }
    return client;
}

BridgeClient::BridgeClient(BridgeClient&& other) noexcept
    : answers_(other.answers_), callbacks_(other.callbacks_), handle_(other.handle_) {
    // The core copied the callback table; user_data points into answers_,
    // which moves along with the handle.
    other.answers_ = nullptr;
    other.handle_ = nullptr;
}

BridgeClient::~BridgeClient() {
    tavrin_bridge_destroy(handle_);
    delete answers_;
}

std::string BridgeClient::ask(const std::string& request) {
    std::size_t length = 0;
    std::uint8_t* reply = tavrin_bridge_handle_request(
        handle_, reinterpret_cast<const std::uint8_t*>(request.data()), request.size(), &length);
    std::string text(reinterpret_cast<const char*>(reply), length);
    tavrin_bridge_free_buffer(reply, length);
    return text;
}

nlohmann::json BridgeClient::askOk(const std::string& request) {
    const std::string reply = ask(request);
    nlohmann::json parsed = nlohmann::json::parse(reply);
    if (parsed.contains("error")) throw std::runtime_error("the bridge answered " + reply);
    return parsed;
}

const std::vector<std::uint8_t>& benchHash() {
    static const std::vector<std::uint8_t> hash(32, 0x5a);
    return hash;
}

std::string signRequest(const std::string& origin, const std::string& certId,
                        const std::string& scheme, int count) {
    std::string hashText(44, '\0');
    EVP_EncodeBlock(reinterpret_cast<unsigned char*>(hashText.data()), benchHash().data(), 32);
    nlohmann::json hashes = nlohmann::json::array();
    for (int i = 0; i < count; ++i)
        hashes.push_back(hashText);
    return nlohmann::json{{"id", "g"},
                          {"method", "sign"},
                          {"params",
                           {{"origin", origin},
                            {"certId", certId},
                            {"hashAlg", "SHA-256"},
                            {"scheme", scheme},
                            {"hashes", hashes}}}}
        .dump();
}

std::vector<std::uint8_t> fromBase64(const std::string& text) {
    std::vector<std::uint8_t> out(text.size());
    const int length =
        EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text.size()));
    if (length < 0) throw std::runtime_error("decoding Base64 failed");
    out.resize(static_cast<std::size_t>(length) -
               static_cast<std::size_t>(std::count(text.begin(), text.end(), '=')));
    return out;
}

nlohmann::json findCertificate(const nlohmann::json& listing, const std::string& algorithm) {
    for (const auto& cert : listing["result"]["certificates"]) {
        if (cert["keyAlgorithm"] == algorithm) return cert;
    }
    throw std::runtime_error("no " + algorithm + " certificate in the listing " + listing.dump());
}

}  // namespace tavrin::bench
