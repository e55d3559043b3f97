#include "framing/framing.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <system_error>

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
    const std::array<std::uint8_t, 4> prefix = {
        static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
    if (auto written = to.write(prefix); !written) return written;
    if (message.empty()) return Unit{};
    return to.write(message);
}

}  // namespace tavrin::host
