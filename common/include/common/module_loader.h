#pragma once
// Finding and opening the program's two loaded modules (the identity store
// and the user interface): where to look, how a file is opened and its
// entry found, and the texts that say what went wrong. Each module's own
// loader checks the version its entry offers and remembers the outcome
// with LoadOnce, so that every thread sees one load.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace tavrin::modules {

// The folder of the executable or shared library that holds `address`.
std::filesystem::path folder_holding(const void* address);

// Where the module `file` may be for code in `folder`, in the order tried:
// beside it (the build tree, and the shared core installed beside the
// modules), in ../lib, and in the program's private library folder of the
// installation (e.g. ../lib/x86_64-linux-gnu/tavrin-bridge from bin/).
std::vector<std::filesystem::path> candidates(const std::filesystem::path& folder,
                                              std::string_view file);

// The first candidate that exists, or the first of all when none does.
std::filesystem::path first_existing(const std::vector<std::filesystem::path>& candidates);

struct OpenedModule {
    std::string path;
    void* entry = nullptr;
};

// Opens the first candidate that exists and looks up its `entry`. The
// module stays mapped for the life of the process, even when its version
// is refused later: unloading could run destructors of libraries (Qt, NSS)
// that have been started. `what` names the module in the texts: "the
// user-interface module libtavrin_bridge_ui.so is not in A or B", "cannot
// load PATH: WHY", "PATH is not a Tavrin Bridge user-interface module (no
// ENTRY)".
Result<OpenedModule, std::string> open_first(const std::vector<std::filesystem::path>& candidates,
                                             const char* entry, std::string_view what);

// "PATH has WHAT interface version N, this program needs version M".
std::string version_mismatch(const std::string& path, std::string_view what, std::uint32_t offered,
                             std::uint32_t wanted);

// One load per process, whichever thread asks first; a failure is
// remembered too.
template <class T>
class LoadOnce {
  public:
    template <class Load>
    const Result<T, std::string>& get(Load&& load) {
        std::call_once(once_, [&] { loaded_.emplace(load()); });
        return *loaded_;
    }

  private:
    std::once_flag once_;
    std::optional<Result<T, std::string>> loaded_;
};

}  // namespace tavrin::modules
