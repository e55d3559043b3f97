#pragma once
// Native-messaging frames: a 4-byte little-endian length, then that many
// bytes. Limits are checked before any payload byte is read or any frame
// byte is written.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "framing/byte_stream.h"

namespace tavrin::host {

class Framing {
  public:
    Framing() = delete;

    static constexpr std::size_t maxRequestLength = 1048576;  // browser to host
    static constexpr std::size_t maxReplyLength = 4194304;    // host to browser

    // One frame's payload (possibly empty). A declared length above maxLen
    // fails with tooLarge without reading or skipping the payload.
    static Result<std::vector<std::uint8_t>, FramingError> readMessage(ByteReader& from,
                                                                       std::size_t maxLen);

    // The prefix and the message with one write, so a reader never wakes to
    // a length without its message. A message above
    // maxLen fails with tooLarge and nothing is written; a failed write is
    // reported as writeFailed so that the caller can end the connection.
    static Result<Unit, FramingError> writeMessage(std::span<const std::uint8_t> message,
                                                   ByteWriter& to, std::size_t maxLen);
};

}  // namespace tavrin::host
