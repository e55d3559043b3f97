#include "platform/relocation_operations.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

extern char** environ;

namespace tavrin::host {

Result<Unit, FileError> copyItemRecursively(const std::filesystem::path& from,
                                            const std::filesystem::path& to) {
    std::error_code error;
    std::filesystem::copy(
        from, to,
        std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks,
        error);
    if (error) return FileError::make("copy " + from.string() + " to", to, error.value());
    return Unit{};
}

Result<Unit, FileError> replaceItem(const std::filesystem::path& target,
                                    const std::filesystem::path& replacement) {
    // A folder cannot be renamed over a non-empty one; exchanging the names
    // keeps the switch a single step, and the old copy goes afterwards.
    if (::renameat2(AT_FDCWD, replacement.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) ==
        0) {
        return removeItemRecursively(replacement);
    }
    if (errno != ENOENT) return FileError::make("replace", target, errno);
    if (::rename(replacement.c_str(), target.c_str()) != 0) {
        return FileError::make("replace", target, errno);
    }
    return Unit{};
}

Result<Unit, FileError> removeItemRecursively(const std::filesystem::path& item) {
    std::error_code error;
    std::filesystem::remove_all(item, error);
    if (error) return FileError::make("remove", item, error.value());
    return Unit{};
}

bool launchDetached(const std::filesystem::path& executable) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return false;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own session, so that it outlives this process and its terminal.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::string program = executable.string();
    char* argv[] = {program.data(), nullptr};
    pid_t child = 0;
    const int rc = posix_spawn(&child, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
}

}  // namespace tavrin::host
