#include "consent/consent_store.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <utility>

#include "consent/consent_file_access.h"
#include "protocol/utf8.h"

namespace tavrin {
namespace {

// Identifies one version of the file: a rename gives a new inode, an edit in
// place a new size or modification time, and either one a new change time.
struct FileStamp {
    dev_t device;
    ino_t inode;
    off_t size;
    timespec modified;
    timespec changed;

    friend bool operator==(const FileStamp& a, const FileStamp& b) {
        return a.device == b.device && a.inode == b.inode && a.size == b.size &&
               same_time(a.modified, b.modified) && same_time(a.changed, b.changed);
    }

  private:
    static bool same_time(const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    }
};

FileStamp stamp_of(const struct stat& st) {
    return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// What a read of the path found: the grants and the stamp of the file they
// came from, or no stamp when there was no file.
struct Snapshot {
    GrantMap grants;
    std::optional<FileStamp> stamp;
};

Result<Snapshot, IoError> read_store(const std::string& path) {
    auto content = consent_file::read(path);
    if (!content) return std::move(content).error();
    if (!content.value()) return Snapshot{};
    auto grants = parse_store_file(content.value()->bytes);
    if (!grants) return IoError::invalid_data(std::move(grants).error());
    return Snapshot{std::move(grants).value(), stamp_of(content.value()->status)};
}

// The path's current stamp; no stamp when it does not exist; an error when it
// cannot be examined.
Result<std::optional<FileStamp>, IoError> current_stamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return std::optional<FileStamp>(stamp_of(st));
    if (errno == ENOENT) return std::optional<FileStamp>();
    return IoError::from_errno(errno);
}

// Grants only widen. Without a time (the clock failed) an existing entry
// keeps its time and a new one gets 0.
void apply_grant(GrantMap& grants, std::string_view origin, std::span<const CertPurpose> purposes,
                 std::optional<std::uint64_t> now) {
    auto it = grants.find(origin);
    if (it == grants.end()) it = grants.emplace(std::string(origin), OriginGrant{}).first;
    for (const CertPurpose purpose : purposes)
        it->second.purposes.insert(purpose);
    if (now) it->second.granted_at_unix = *now;
}

}  // namespace

struct ConsentStore::State {
    std::string path;
    UnixClock clock;
    std::chrono::milliseconds lock_wait;
    std::mutex mutex;
    // The grants as last read from the file (plus this process's own), and
    // the stamp of the file they were read from.
    GrantMap grants;
    std::optional<FileStamp> stamp;

    // Merges the grant into the file's current content under the lock and
    // writes the result. On failure `grants` already holds the grant.
    Result<Unit, IoError> persist_grant(std::string_view origin,
                                        std::span<const CertPurpose> purposes, std::uint64_t now);
};

Result<Unit, IoError> ConsentStore::State::persist_grant(std::string_view origin,
                                                         std::span<const CertPurpose> purposes,
                                                         std::uint64_t now) {
    if (first_invalid_utf8(origin)) return IoError::other("origin is not valid UTF-8");
    // The folder is the user's data folder: 0700, as the XDG rules ask.
    auto lock = consent_file::lock(path, lock_wait);
    if (!lock) return std::move(lock).error();

    // Another process may have granted or revoked since we last read. A file
    // that cannot be read or parsed is left alone rather than replaced by
    // our copy, which would lose whatever it holds.
    auto current = read_store(path);
    if (!current) return std::move(current).error();
    Snapshot merged = std::move(current).value();
    apply_grant(merged.grants, origin, purposes, now);
    grants = std::move(merged.grants);
    stamp = merged.stamp;

    if (auto replaced = consent_file::replace(path, write_store_file(grants)); !replaced) {
        return std::move(replaced).error();
    }
    // Stamp what we wrote while no one else can change it. Should the stat
    // fail, the old stamp stays and the next has_grant simply reads again.
    if (auto written = current_stamp(path); written) stamp = written.value();
    return Unit{};
}

Result<std::uint64_t, IoError> system_unix_time() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    if (since_epoch < std::chrono::system_clock::duration::zero()) {
        return IoError::other("system clock before 1970");
    }
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count());
}

Result<ConsentStore, IoError> ConsentStore::open(std::string path, UnixClock clock,
                                                 std::chrono::milliseconds lock_wait) {
    auto snapshot = read_store(path);
    if (!snapshot) return std::move(snapshot).error();
    auto state = std::make_unique<State>();
    state->path = std::move(path);
    state->clock = std::move(clock);
    state->lock_wait = lock_wait;
    state->grants = std::move(snapshot.value().grants);
    state->stamp = snapshot.value().stamp;
    return ConsentStore(std::move(state));
}

ConsentStore::ConsentStore(std::unique_ptr<State> state) : state_(std::move(state)) {}
ConsentStore::ConsentStore(ConsentStore&&) noexcept = default;
ConsentStore& ConsentStore::operator=(ConsentStore&&) noexcept = default;
ConsentStore::~ConsentStore() = default;

bool ConsentStore::has_grant(std::string_view origin, CertPurpose purpose) {
    State& s = *state_;
    std::lock_guard guard(s.mutex);
    // A revoke or another process's grant shows up as a changed stamp. When
    // the changed file cannot be read, the last content read still answers.
    if (auto now = current_stamp(s.path); now && now.value() != s.stamp) {
        if (auto reread = read_store(s.path)) {
            s.grants = std::move(reread.value().grants);
            s.stamp = reread.value().stamp;
        }
    }
    const auto it = s.grants.find(origin);
    return it != s.grants.end() && it->second.purposes.contains(purpose);
}

Result<Unit, IoError> ConsentStore::grant(std::string_view origin,
                                          std::span<const CertPurpose> purposes) {
    State& s = *state_;
    std::lock_guard guard(s.mutex);
    auto now = s.clock();
    // In memory first: whatever happens to the file, this process keeps the
    // grant until it next takes the file's content.
    apply_grant(s.grants, origin, purposes,
                now ? std::optional<std::uint64_t>(now.value()) : std::nullopt);
    if (!now) return std::move(now).error();
    return s.persist_grant(origin, purposes, now.value());
}

const std::string& ConsentStore::path() const {
    return state_->path;
}

}  // namespace tavrin
