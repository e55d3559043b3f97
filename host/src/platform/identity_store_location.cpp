#include "platform/identity_store_location.h"

#include "nss_database_location.h"

namespace tavrin::host {

std::string identityStoreDatabase() {
    return keychain::user_nss_database_dir();
}

}  // namespace tavrin::host
