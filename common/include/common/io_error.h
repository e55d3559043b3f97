#pragma once
// File-system failures of the core, carrying the text the system gives them.

#include <string>

namespace tavrin {

enum class IoErrorKind {
    NotFound,          // the file does not exist
    PermissionDenied,  // the system refused access
    InvalidData,       // the file exists but its content is unusable
    Other,
};

struct IoError {
    IoErrorKind kind = IoErrorKind::Other;
    std::string message;  // the whole display text

    // The system's description of errno value `err`, then " (os error N)".
    static IoError from_errno(int err);
    static IoError invalid_data(std::string message);
    static IoError other(std::string message);
};

}  // namespace tavrin
