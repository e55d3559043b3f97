#pragma once
// The consent file as the management window sees it: every grant listed
// with its purposes as stored, and one origin revoked at a time. Reads and
// writes through the consent store's own codec and lock, so a revoke and a
// host's grant never lose each other's change.

#include <chrono>
#include <string>
#include <string_view>

#include "common/io_error.h"
#include "common/result.h"
#include "consent/consent_store.h"
#include "consent/store_file.h"

namespace tavrin {

// The grants, in byte order of their origins. Never fails: a missing,
// unreadable or malformed file lists as no grants.
StoredGrantMap list_grants(const std::string& path);

// How many origins hold a grant as the consent store reads the file (its
// strict rules), 0 without a file; or why the store refuses the file.
Result<std::size_t, IoError> count_grants(const std::string& path);

// Removes the grant of exactly `origin` (an absent origin is no error) and
// rewrites the whole file under the lock; a missing file becomes one without
// grants. A file that exists but cannot be read or parsed is refused and
// left as it is.
Result<Unit, IoError> revoke_grant(const std::string& path, std::string_view origin,
                                   std::chrono::milliseconds lock_wait = kConsentLockWait);

}  // namespace tavrin
