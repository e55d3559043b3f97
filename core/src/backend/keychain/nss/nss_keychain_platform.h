#pragma once
// The identity store on Linux: the user's NSS database (the store Chromium
// uses for client certificates). It is opened read-only on the first search,
// never before, so that creating a dispatcher or answering "status" costs
// nothing; a database that does not exist holds no identities.

#include <string>

#include "backend/keychain/keychain_platform.h"

struct NSSInitContextStr;

namespace tavrin::keychain {

class NssKeychainPlatform final : public KeychainPlatform {
  public:
    // `database_dir` holds cert9.db and key4.db.
    explicit NssKeychainPlatform(std::string database_dir);
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

  private:
    std::string database_dir_;
    NSSInitContextStr* context_ = nullptr;
};

// $HOME/.pki/nssdb, with the home folder from the password database when
// HOME is unset or not absolute.
std::string default_nss_database_dir();

}  // namespace tavrin::keychain
