#pragma once
// Which certificate database this platform's identity store reads, named for
// the window without opening the store.

#include <string>

namespace tavrin::host {

// On Linux the folder of the user's NSS database, by the rule the store
// itself follows.
std::string identityStoreDatabase();

}  // namespace tavrin::host
