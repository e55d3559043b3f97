#pragma once
// The per-origin consent grants, backed by one JSON file ("consent.json").
//
// Several host processes and the management window share the file. A grant
// takes an exclusive lock on "<file>.lock" (waiting at most kConsentLockWait),
// re-reads the file, applies itself to what it read and replaces the file
// whole (temporary file, then rename), so grants from two processes never
// overwrite each other and a revoked origin never comes back. The file is
// created 0600 and its folder 0700, whatever the umask. Before answering has_grant the store checks
// whether the file changed since it last read it and, if so, reads it again;
// when that re-read fails it answers from the last content it read.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "common/io_error.h"
#include "common/result.h"
#include "consent/store_file.h"
#include "protocol/enums.h"

namespace tavrin {

// How long a grant waits for the file's lock before it fails as unsaved.
inline constexpr std::chrono::milliseconds kConsentLockWait{10000};

// Seconds since the Unix epoch, or an error when the clock reads earlier.
using UnixClock = std::function<Result<std::uint64_t, IoError>()>;

// The system clock; before 1970 it fails with "system clock before 1970".
Result<std::uint64_t, IoError> system_unix_time();

class ConsentStore {
  public:
    // Reads the file once. A missing file is an empty store (nothing is
    // written); an unreadable or malformed one is refused with its error.
    // A grant waits at most `lock_wait` for the lock another process holds.
    static Result<ConsentStore, IoError> open(
        std::string path, UnixClock clock = system_unix_time,
        std::chrono::milliseconds lock_wait = kConsentLockWait);

    ConsentStore(ConsentStore&&) noexcept;
    ConsentStore& operator=(ConsentStore&&) noexcept;
    ~ConsentStore();

    bool has_grant(std::string_view origin, CertPurpose purpose);

    // Widens the origin's grant by `purposes` and sets its time to now, then
    // persists. On failure the grant stays in memory for this process.
    Result<Unit, IoError> grant(std::string_view origin, std::span<const CertPurpose> purposes);

    const std::string& path() const;

  private:
    struct State;
    explicit ConsentStore(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace tavrin
