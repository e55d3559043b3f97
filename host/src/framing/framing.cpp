#include "framing/framing.h"

#include <algorithm>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

namespace tavrin::host {

namespace {

std::int64_t asSigned(std::size_t value) {
    constexpr auto largest = static_cast<std::size_t>(std::numeric_limits<std::int64_t>::max());
    return static_cast<std::int64_t>(std::min(value, largest));
}

std::string errnoText(int code) {
    return std::generic_category().message(code);
}

}  // namespace

std::string FramingError::description() const {
    switch (kind_) {
        case Kind::tooLarge:
            return "frame length " + std::to_string(declared_) + " exceeds the limit of " +
                   std::to_string(max_) + " bytes";
        case Kind::endOfStream:
            return "the input ended before the frame was complete";
        case Kind::readFailed:
            return "read frame: " + errnoText(errorNumber_);
        case Kind::writeFailed:
            return "write frame: " + errnoText(errorNumber_);
    }
    return "framing error";
}

Result<std::vector<std::uint8_t>, FramingError> Framing::readMessage(ByteReader& from,
                                                                     std::size_t maxLen) {
    Result<std::vector<std::uint8_t>, FramingError> prefix = from.readExactly(4);
    if (!prefix) return prefix;
    const std::vector<std::uint8_t>& p = prefix.value();
    const std::uint32_t length =
        static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
        static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    if (length > maxLen) return FramingError::tooLarge(length, asSigned(maxLen));
    if (length == 0) return std::vector<std::uint8_t>{};
    return from.readExactly(length);
}

Result<Unit, FramingError> Framing::writeMessage(std::span<const std::uint8_t> message,
                                                 ByteWriter& to, std::size_t maxLen) {
    // The prefix holds 32 bits whatever limit the caller passes.
    const std::size_t limit =
        std::min<std::size_t>(maxLen, std::numeric_limits<std::uint32_t>::max());
    if (message.size() > limit)
        return FramingError::tooLarge(asSigned(message.size()), asSigned(limit));
    const auto length = static_cast<std::uint32_t>(message.size());
    // Prefix and message in one write: a reader woken by the prefix alone
    // would only have to wait again for the rest.
    std::vector<std::uint8_t> frame;
    frame.reserve(4 + message.size());
    for (int shift = 0; shift < 32; shift += 8)
        frame.push_back(static_cast<std::uint8_t>(length >> shift));
    frame.insert(frame.end(), message.begin(), message.end());
    return to.write(frame);
}

}  // namespace tavrin::host
