#pragma once
// What keeps every reply readable by a browser: a browser closes the
// connection on a message from its native host larger than 1 MiB, so the
// request text a reply repeats (the id, a method name, a spelling the reader
// refused) is shortened, and a reply that is still too large is replaced by
// an error reply (the dispatcher's job). The framing layer keeps its own,
// larger limit as a last guard.

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrin {

inline constexpr std::size_t kMaxReplyBytes = 1048576;
inline constexpr std::size_t kMaxEchoedBytes = 256;

// The text unchanged when it has at most kMaxEchoedBytes bytes; otherwise
// its first bytes up to that limit (never half a UTF-8 character) followed
// by "...[shortened from N bytes]".
std::string echoed(std::string_view text);

}  // namespace tavrin
