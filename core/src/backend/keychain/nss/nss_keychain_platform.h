#pragma once
// The software part of the Linux identity store: the user's NSS database
// (the store Chromium uses for client certificates), opened read-only on the
// first search, never before, and without its module list: cards and tokens
// are reached through the project's own PKCS#11 code (tokens/), not through
// NSS. A missing database holds no identities. NSS never asks the user
// anything: no password callback is installed, so a key behind the
// database's own password is simply not found.

#include <memory>
#include <string>

#include "backend/keychain/keychain_platform.h"

struct NSSInitContextStr;

namespace tavrin::keychain {

struct NssStoreLocation {
    std::string database_dir;  // holds cert9.db, key4.db and pkcs11.txt
};

class NssKeychainPlatform final : public KeychainPlatform {
  public:
    explicit NssKeychainPlatform(NssStoreLocation location);
    ~NssKeychainPlatform() override;
    NssKeychainPlatform(const NssKeychainPlatform&) = delete;
    NssKeychainPlatform& operator=(const NssKeychainPlatform&) = delete;

    SearchResult copy_matching_identities(
        const std::vector<std::shared_ptr<Keychain>>* search_list) override;
    Copied<Certificate> copy_certificate(const Identity& identity) override;
    Bytes certificate_data(const Certificate& certificate) override;
    std::optional<std::int64_t> public_key_size_bits(const Certificate& certificate) override;
    Copied<PrivateKey> copy_private_key(const Identity& identity) override;
    SignatureResult create_signature(const PrivateKey& key, SignatureAlgorithm algorithm,
                                     std::span<const std::uint8_t> digest) override;
    std::optional<std::string> error_message(Status status) override;
    std::string error_description(const SignatureError& error) override;

    StepNames step_names(const Identity& identity) const override;
    std::vector<Bytes> issuer_chain(const Certificate& certificate) override;

  private:
    Status open();

    NssStoreLocation location_;
    NSSInitContextStr* context_ = nullptr;
};

}  // namespace tavrin::keychain
