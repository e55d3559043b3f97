#pragma once

#include <string>
#include <string_view>

namespace tavrin {

// The description of the earliest error in this thread's OpenSSL error queue
// (the root cause; later entries only add context), or `fallback` when the
// queue is empty. The queue is empty afterwards.
std::string take_openssl_error(std::string_view fallback);

}  // namespace tavrin
