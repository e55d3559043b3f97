#pragma once
// A PKCS#11 module as the diagnostic report sees it: whether it loads and
// initialises, and each of its slots (a card reader, or a token built into
// the device) with the token in it. Read-only and without a login: only what
// the token shows to anyone is counted.

#include <string>

#include <nlohmann/json.hpp>

namespace tavrin::examination {

// {"library", "loaded", "reason"?, "manufacturer"?, "description"?, "slots": [...]}
// Each slot: {"description", "manufacturer", "hardware", "removable",
// "tokenPresent", "token"?}; a token: {"label", "model", "initialized",
// "pinPad", "loginRequired", "signing", "authentication", "certificates",
// "error"?}. The counts are of the certificates whose key the token shows
// (a private or public key object with the same CKA_ID).
nlohmann::ordered_json examine_module(const std::string& library);

}  // namespace tavrin::examination
