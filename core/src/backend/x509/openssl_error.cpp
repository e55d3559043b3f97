#include "backend/x509/openssl_error.h"

#include <openssl/err.h>

namespace tavrin {

std::string take_openssl_error(std::string_view fallback) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return std::string(fallback);
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

}  // namespace tavrin
