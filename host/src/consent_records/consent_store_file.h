#pragma once
// The management window's view of the consent file: it lists the grants and
// revokes them one by one through the core's C interface, which reads and
// writes the file with the same codec and lock as the hosts' grants. Nothing
// is cached; every call reads the file afresh.

#include <filesystem>
#include <string>
#include <vector>

#include "common/result.h"
#include "platform/file_ops.h"
#include "ui_interface/consent_grant.h"

namespace tavrin::host::ConsentStoreFile {

// <application data directory>/consent.json, where the core keeps it.
// Creates nothing.
std::filesystem::path url();

// The grants sorted by origin (byte order), purposes as stored. A missing,
// unreadable or malformed file gives an empty list: listing never fails.
std::vector<ConsentGrant> list();
std::vector<ConsentGrant> list(const std::filesystem::path& file);

// Removes the grant of exactly `origin` (an absent origin is no error) and
// rewrites the whole file atomically, under the lock the core's grants take,
// so neither loses the other's change. A file that exists but cannot be read
// or parsed is refused and left as it is; a missing file becomes one
// without grants.
Result<Unit, FileError> revoke(const std::string& origin);
Result<Unit, FileError> revoke(const std::string& origin, const std::filesystem::path& file);

}  // namespace tavrin::host::ConsentStoreFile
