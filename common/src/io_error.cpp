#include "common/io_error.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace tavrin {

IoError IoError::from_errno(int err) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not live in `buffer`.
    const char* text = strerror_r(err, buffer, sizeof buffer);
    IoError result;
    result.kind = err == ENOENT                     ? IoErrorKind::NotFound
                  : (err == EACCES || err == EPERM) ? IoErrorKind::PermissionDenied
                                                    : IoErrorKind::Other;
    result.message = std::string(text) + " (os error " + std::to_string(err) + ")";
    return result;
}

IoError IoError::invalid_data(std::string message) {
    return IoError{IoErrorKind::InvalidData, std::move(message)};
}

IoError IoError::other(std::string message) {
    return IoError{IoErrorKind::Other, std::move(message)};
}

}  // namespace tavrin
