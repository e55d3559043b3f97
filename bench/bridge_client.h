#pragma once
// The bridge's full request path in-process: a dispatcher made through the
// C interface whose prompts grant, confirm and supply the PIN at once, fed
// the same JSON requests the host passes on.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tavrin_bridge.h"

namespace tavrin::bench {

class BridgeClient {
  public:
    // Over the user's NSS database ($HOME/.pki/nssdb) and tokens; `pin`
    // answers a token's PIN prompt.
    static BridgeClient keychain(const std::string& consentPath, std::string pin = "");
    // Over the first token of `modulePath`, logging in with `pin`.
    static BridgeClient pkcs11(const std::string& consentPath, const std::string& modulePath,
                               std::string pin);
    ~BridgeClient();
    BridgeClient(BridgeClient&& other) noexcept;
    BridgeClient(const BridgeClient&) = delete;
    BridgeClient& operator=(const BridgeClient&) = delete;
    BridgeClient& operator=(BridgeClient&&) = delete;

    // The reply's text.
    std::string ask(const std::string& request);
    // The reply parsed; throws with the reply when it is an error reply.
    nlohmann::json askOk(const std::string& request);

  private:
    BridgeClient() = default;
    struct Answers {
        std::string pin;
    };
    Answers* answers_ = nullptr;
    TavrinBridgeCallbacks callbacks_{};
    DispatcherHandle* handle_ = nullptr;
};

// A "sign" request for `count` copies of a SHA-256 hash.
std::string signRequest(const std::string& origin, const std::string& certId,
                        const std::string& scheme, int count);

// The 32 bytes every benchmark signs.
const std::vector<std::uint8_t>& benchHash();

std::vector<std::uint8_t> fromBase64(const std::string& text);

// The certificate of the first listed entry whose keyAlgorithm is `algorithm`.
nlohmann::json findCertificate(const nlohmann::json& listing, const std::string& algorithm);

}  // namespace tavrin::bench
