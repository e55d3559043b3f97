#pragma once
// The file-system and process operations behind relocating the application
// folder: recursive copy and removal, a one-step replace, and starting the
// relocated program.

#include <filesystem>
#include <string>

#include "common/result.h"
#include "platform/file_ops.h"

namespace tavrin::host {

// Copies the folder (or file) `from` to the new path `to`, recursively,
// symbolic links as links.
Result<Unit, FileError> copyItemRecursively(const std::filesystem::path& from,
                                            const std::filesystem::path& to);

// Puts `replacement` at `target` in one step: an exchange of the two names
// when the target exists (the old content is then removed), else a rename.
Result<Unit, FileError> replaceItem(const std::filesystem::path& target,
                                    const std::filesystem::path& replacement);

// Deletes the item and everything below it; a missing item is a success.
Result<Unit, FileError> removeItemRecursively(const std::filesystem::path& item);

// Starts `executable` with no arguments, detached from this process's
// standard input and output. False when it could not be started.
bool launchDetached(const std::filesystem::path& executable);

}  // namespace tavrin::host
